// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Streams.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/StringList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

namespace {
std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("quor-rtl-") + name)).string();
}
} // namespace

TEST(MemoryStream, ShortReadReturnsWhatArrived) {
    TMemoryStream s;
    s.WriteValue<uint32_t>(0x01020304);
    EXPECT_EQ(s.Size(), 4);
    EXPECT_EQ(s.Memory()[0], 4);
    EXPECT_EQ(s.Memory()[3], 1);
    s.SetPosition(2);
    unsigned char buffer[8];
    EXPECT_EQ(s.Read(buffer, 8), 2u);
    EXPECT_EQ(s.Read(buffer, 8), 0u);
    s.SetPosition(1);
    EXPECT_THROW(s.ReadValue<uint32_t>(), Exception);
}

TEST(MemoryStream, LittleEndianFieldsRoundTrip) {
    TMemoryStream s;
    s.WriteValue<int16_t>(-2);
    s.WriteValue<float>(1.5f);
    s.WriteValue<double>(-0.25);
    s.WriteValue<uint8_t>(200);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadValue<int16_t>(), -2);
    EXPECT_EQ(s.ReadValue<float>(), 1.5f);
    EXPECT_EQ(s.ReadValue<double>(), -0.25);
    EXPECT_EQ(s.ReadValue<uint8_t>(), 200);
    uint8_t b = 9;
    EXPECT_FALSE(s.TryReadValue(b));
    EXPECT_EQ(b, 9);
}

TEST(Streams, CopyFromAndFiles) {
    const std::string path = TempPath("copy.bin");
    {
        TMemoryStream m;
        for (int i = 0; i < 100000; ++i)
            m.WriteValue<uint8_t>(static_cast<uint8_t>(i));
        TFileStream f(path, TFileMode::fmCreate);
        EXPECT_EQ(f.CopyFrom(m, 0), 100000);
        EXPECT_EQ(f.Size(), 100000);
        EXPECT_EQ(f.Position(), 100000);
    }
    {
        TFileStream f(path, TFileMode::fmOpenReadWrite);
        f.Seek(-1, TSeekOrigin::soEnd);
        EXPECT_EQ(f.ReadValue<uint8_t>(), static_cast<uint8_t>(99999));
        f.SetPosition(10);
        f.WriteValue<uint8_t>(0xEE);
        f.SetPosition(10);
        EXPECT_EQ(f.ReadValue<uint8_t>(), 0xEE);
        TMemoryStream part;
        f.SetPosition(0);
        EXPECT_EQ(part.CopyFrom(f, 20), 20);
        EXPECT_EQ(part.Memory()[10], 0xEE);
    }
    std::remove(path.c_str());
    EXPECT_THROW(TFileStream(path, TFileMode::fmOpenRead), Exception);
}

TEST(Streams, ReadsAtAnOffsetFromSeveralThreadsLeaveThePositionAlone) {
    const std::string path = TempPath("at.bin");
    {
        TFileStream f(path, TFileMode::fmCreate);
        for (int i = 0; i < 1 << 16; ++i)
            f.WriteValue<uint32_t>(static_cast<uint32_t>(i));
        f.Close();
    }
    TFileStream f(path, TFileMode::fmOpenRead);
    f.SetPosition(8);
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            std::vector<uint32_t> part(1 << 14);
            const int64_t first = int64_t{t} << 14;
            f.ReadBufferAt(part.data(), part.size() * 4, first * 4);
            for (size_t i = 0; i < part.size(); ++i)
                wrong += part[i] != static_cast<uint32_t>(first + static_cast<int64_t>(i));
        });
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(f.Position(), 8);
    EXPECT_EQ(f.ReadValue<uint32_t>(), 2u);
    uint32_t v = 0;
    EXPECT_THROW(f.ReadBufferAt(&v, 8, f.Size() - 4), Exception); // past the end
    std::remove(path.c_str());
}

TEST(StringList, TextFilesHaveCrLf) {
    const std::string path = TempPath("lines.txt");
    TStringList list;
    list.Add("one");
    list.Add("");
    list.Add("three");
    list.SaveToFile(path);
    TMemoryStream raw;
    raw.LoadFromFile(path);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw.Memory()), static_cast<size_t>(raw.Size())),
              "one\r\n\r\nthree\r\n");
    TStringList back;
    back.LoadFromFile(path);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back[2], "three");
    back.SetText("a\nb\rc");
    EXPECT_EQ(back.Count(), 3);
    EXPECT_EQ(back.IndexOf("c"), 2);
    EXPECT_THROW(back[3], Exception);
    std::remove(path.c_str());
}
