// SPDX-License-Identifier: GPL-3.0-or-later
// Writing files to the end: every failure raised with the file's name and reason, files that
// replace others written aside and renamed, and only regular files opened.
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "tests/support/AllowedSkip.h"
#include "tests/support/AnotherUser.h"
#include "tests/support/RaisedMessage.h"
#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void WriteText(const std::string& Path, const std::string& Text) {
    TAtomicFileStream file(Path);
    file.WriteBuffer(Text.data(), Text.size());
    file.Close();
}

mode_t ModeOf(const std::string& Path) {
    struct stat st {};
    stat(Path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(FileWrites, EachFaultRaisesWithTheNameAndTheReason) {
    TTestFolder dir;
    const std::string path = dir / "out.bin";
    const std::string data(200, 'x');
    {
        // A write past the limit puts in what fits, then fails.
        TWriteFaultScope fault(TFaultPoint::fpWrite, 100, ENOSPC);
        TFileStream file(path, TFileMode::fmCreate);
        EXPECT_EQ(MessageOf([&] { file.WriteBuffer(data.data(), data.size()); }),
                  "Could not write " + path + ": No space left on device");
        file.Close();
        EXPECT_EQ(fault.Hits(), 1);
    }
    EXPECT_EQ(FileBytes(path).size(), 100u);
    {
        TWriteFaultScope fault(TFaultPoint::fpFlush, 0, EIO);
        TFileStream file(path, TFileMode::fmCreate);
        file.WriteBuffer(data.data(), data.size());
        EXPECT_EQ(MessageOf([&] { file.Close(); }), "Could not write " + path + ": Input/output error");
        EXPECT_TRUE(file.Closed());
    }
    {
        TWriteFaultScope fault(TFaultPoint::fpClose, 150, EDQUOT);
        TFileStream small(path, TFileMode::fmCreate);
        small.WriteBuffer(data.data(), 100);
        EXPECT_EQ(MessageOf([&] { small.Close(); }), "");
        TFileStream file(path, TFileMode::fmCreate);
        file.WriteBuffer(data.data(), data.size());
        EXPECT_NE(MessageOf([&] { file.Close(); }).find("Disk quota exceeded"), std::string::npos);
    }
    // The scope has ended: writing works again, and an unclosed stream closes quietly.
    WriteText(path, data);
    EXPECT_EQ(FileBytes(path), data);
    TWriteFaultScope fault(TFaultPoint::fpFlush, 0, ENOSPC);
    EXPECT_NO_THROW({
        TFileStream file(path, TFileMode::fmOpenWrite);
        file.WriteBuffer(data.data(), 10);
    });
}

TEST(FileWrites, AReplacedFileIsWholeOrUntouched) {
    TTestFolder dir;
    const std::string path = dir / "list.txt";
    WriteText(path, "old contents");
    ExpectFailedSavesKeepTarget(path, [&] { WriteText(path, std::string(1000, 'n')); });
    // A stream dropped unclosed (an error on the way) leaves the old file and no other.
    {
        TAtomicFileStream file(path);
        file.WriteBuffer("new", 3);
        EXPECT_EQ(FileBytes(path), "old contents");
    }
    EXPECT_EQ(FileBytes(path), "old contents");
    EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"list.txt"});
    TStringList list;
    list.Add("new");
    list.SaveToFile(path);
    EXPECT_EQ(FileBytes(path), "new\r\n");
}

TEST(FileWrites, AReplacedFileKeepsItsPermissionsAndALinkStaysALink) {
    TTestFolder dir;
    const std::string path = dir / "a.bmp";
    WriteText(path, "1");
    const mode_t fresh = ModeOf(path);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fresh, 0666 & ~mask);
    chmod(path.c_str(), 0640);
    WriteText(path, "2");
    EXPECT_EQ(ModeOf(path), 0640u);
    const std::string link = dir / "link.bmp";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    WriteText(link, "3");
    struct stat st {};
    lstat(link.c_str(), &st);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(FileBytes(path), "3");
}

TEST(FileWrites, OnlyRegularFilesAreOpened) {
    TTestFolder dir;
    const std::string fifo = dir / "fifo.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir / "x.png";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    for (const std::string& name : {fifo, folder}) {
        SCOPED_TRACE(name);
        // No wait for a writer on the FIFO, no reading of a folder's "size".
        EXPECT_EQ(MessageOf([&] { TFileStream file(name, TFileMode::fmOpenRead); }), name + " is not a file");
        EXPECT_EQ(MessageOf([&] { TFileStream file(name, TFileMode::fmCreate); }), name + " is not a file");
        EXPECT_EQ(MessageOf([&] { WriteText(name, "x"); }), name + " is not a file");
        EXPECT_EQ(MessageOf([&] { TStringList().LoadFromFile(name); }), name + " is not a file");
    }
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"fifo.png", "x.png"}));
}

// The same as the fault seam stands in for, on a real full file system where one can be made.
TEST(FileWrites, AFullTmpfsKeepsTheOldFile) {
    TTestFolder dir;
    const std::string mountPoint = dir / "small";
    mkdir(mountPoint.c_str(), 0700);
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        QUOR_ALLOWED_SKIP() << "no tmpfs can be mounted here (" << std::strerror(errno) << ")";
    const std::string path = mountPoint + "/drawing.bmp";
    WriteText(path, std::string(20000, 'o'));
    const std::string message = MessageOf([&] { WriteText(path, std::string(100000, 'n')); });
    EXPECT_EQ(FileBytes(path), std::string(20000, 'o'));
    EXPECT_EQ(FolderEntries(mountPoint), std::set<std::string>{"drawing.bmp"});
    umount(mountPoint.c_str());
    EXPECT_EQ(message, "Could not write " + path + ": No space left on device");
}

TEST(FileWrites, RemovingAFileThatStaysRaisesWithTheNameAndTheReason) {
    TTestFolder dir;
    const std::string path = dir / "old.bin";
    WriteText(path, "old");
    {
        // A read-only folder: nothing is created beside the file, and the file stays.
        TWriteFaultScope fault(TFaultPoint::fpCreate, 0, EACCES);
        EXPECT_EQ(MessageOf([&] { WriteText(path, "new"); }),
                  "Cannot create file \"" + path + "\". Permission denied");
        EXPECT_EQ(MessageOf([&] { TFileStream(dir / "other.bin", TFileMode::fmCreate); }),
                  "Cannot create file \"" + dir / "other.bin" + "\". Permission denied");
    }
    {
        TWriteFaultScope fault(TFaultPoint::fpRemove, 0, EACCES);
        EXPECT_EQ(MessageOf([&] { RemoveFile(path); }),
                  "Cannot delete file \"" + path + "\". Permission denied");
    }
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"old.bin"}));
    // Without the seam: a folder is no file to delete, even for root; a name that is not there
    // is no error.
    std::filesystem::create_directory(dir / "sub");
    EXPECT_EQ(MessageOf([&] { RemoveFile(dir / "sub"); }),
              "Cannot delete file \"" + dir / "sub" + "\". Is a directory");
    RemoveFile(path);
    RemoveFile(path);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"sub"}));
}

TEST(FileWrites, ATargetTheUserMayNotWriteIsNotReplaced) {
    TTestFolder dir;
    chmod(dir.Path().c_str(), 0777);
    const std::string mine = dir / "mine.bmp", theirs = dir / "theirs.bmp";
    WriteText(theirs, "root's");
    chmod(theirs.c_str(), 0644);
    const std::string seen = AsAnotherUser([&] {
        std::string result;
        WriteText(mine, "first");
        chmod(mine.c_str(), 0444);
        for (const std::string& path : {mine, theirs})
            result += MessageOf([&] { WriteText(path, "replaced"); }) + "|" + FileBytes(path) + "\n";
        return result;
    });
    EXPECT_EQ(seen, "Cannot create file \"" + mine + "\". Permission denied|first\n" +
                        "Cannot create file \"" + theirs + "\". Permission denied|root's\n");
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"mine.bmp", "theirs.bmp"}));
    // Root may write any file, so a save as root replaces it, keeping its permissions.
    if (geteuid() == 0) {
        WriteText(mine, "root's save");
        EXPECT_EQ(FileBytes(mine), "root's save");
        EXPECT_EQ(ModeOf(mine), 0444u);
    }
}

TEST(FileWrites, AWritableFileInAFolderThatTakesNoNewFileSaysTheFolderIsWhatRefuses) {
    TTestFolder dir;
    const std::string shared = dir / "shared.bmp";
    WriteText(shared, "before");
    chmod(shared.c_str(), 0666);
    // The folder may be read and entered by anyone, written by no one but root.
    chmod(dir.Path().c_str(), 0555);
    const std::string seen = AsAnotherUser([&] {
        return MessageOf([&] { WriteText(shared, "after"); }) + "|" + FileBytes(shared) + "\n" +
               MessageOf([&] { WriteText(dir / "new.bmp", "new"); }) + "\n";
    });
    chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(seen, "Cannot save \"" + shared +
                        "\": the folder does not allow a new file beside it, which a safe save writes first "
                        "(Permission denied).|before\n"
                        "Cannot create file \"" +
                        dir / "new.bmp" + "\". Permission denied\n");
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"shared.bmp"}));
}

TEST(FileWrites, TheLongestNamesAreSavedAndTheWriteAsideNameIsListedFirst) {
    TTestFolder dir;
    std::vector<std::string> listed;
    const TWriteAsideHook old = SetWriteAsideHook([&](const std::string& Path) {
        EXPECT_FALSE(std::filesystem::exists(Path)) << Path;
        listed.push_back(Path);
    });
    std::string accented;
    for (int i = 0; i < 127; ++i)
        accented += "\xC3\xA9"; // "é" 127 times: 254 bytes
    for (const std::string& name : {std::string(255, 'a'), accented, std::string("short")}) {
        const std::string path = dir / name;
        WriteText(path, "one");
        WriteText(path, "two");
        EXPECT_EQ(FileBytes(path), "two");
        ASSERT_EQ(listed.size(), 2u);
        for (const std::string& aside : listed) {
            ASSERT_EQ(aside.compare(0, dir.Path().size(), dir.Path()), 0) << aside;
            const std::string asideName = aside.substr(dir.Path().size());
            EXPECT_LE(asideName.size(), 255u);
            EXPECT_TRUE(IsWriteAsideName(asideName)) << asideName;
            // Cut between characters, never inside one.
            const std::string stem = asideName.substr(1, asideName.size() - 10);
            EXPECT_EQ(name.compare(0, stem.size(), stem), 0);
            EXPECT_TRUE(stem.size() == name.size() ||
                        (static_cast<unsigned char>(name[stem.size()]) & 0xC0) != 0x80);
        }
        listed.clear();
    }
    SetWriteAsideHook(old);
    EXPECT_EQ(FolderEntries(dir.Path()).size(), 3u);
    EXPECT_FALSE(IsWriteAsideName(".a.1234567"));
    EXPECT_FALSE(IsWriteAsideName("..12345678"));
    EXPECT_FALSE(IsWriteAsideName("a.b.12345678"));
    EXPECT_FALSE(IsWriteAsideName(".a.1234567G"));
}
