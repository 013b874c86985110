// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/StringList.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

namespace {
void CheckIndex(int Index, int Count) {
    if (Index < 0 || Index >= Count)
        RaiseException("List index out of bounds (" + std::to_string(Index) + ")");
}
} // namespace

const std::string& TStringList::operator[](int Index) const {
    CheckIndex(Index, Count());
    return FItems[static_cast<size_t>(Index)];
}

std::string& TStringList::operator[](int Index) {
    CheckIndex(Index, Count());
    return FItems[static_cast<size_t>(Index)];
}

int TStringList::Add(const std::string& S) {
    FItems.push_back(S);
    return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S) {
    if (Index < 0 || Index > Count())
        RaiseException("List index out of bounds (" + std::to_string(Index) + ")");
    FItems.insert(FItems.begin() + Index, S);
}

void TStringList::Delete(int Index) {
    CheckIndex(Index, Count());
    FItems.erase(FItems.begin() + Index);
}

int TStringList::IndexOf(const std::string& S) const {
    for (int i = 0; i < Count(); ++i)
        if (FItems[static_cast<size_t>(i)] == S) return i;
    return -1;
}

std::string TStringList::Text() const {
    std::string text;
    for (const std::string& s : FItems) {
        text += s;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(const std::string& Text) {
    FItems.clear();
    std::string line;
    for (size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '\r' || c == '\n') {
            FItems.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) FItems.push_back(line);
}

void TStringList::LoadFromFile(const std::string& FileName) {
    TMemoryStream stream;
    stream.LoadFromFile(FileName);
    SetText(std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size())));
}

void TStringList::SaveToFile(const std::string& FileName) const {
    const std::string text = Text();
    TAtomicFileStream file(FileName);
    file.WriteBuffer(text.data(), text.size());
    file.Close();
}
