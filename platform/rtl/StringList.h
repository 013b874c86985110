// SPDX-License-Identifier: GPL-3.0-or-later
// An ordered list of strings whose text files have CR LF line breaks.
#pragma once

#include <string>
#include <vector>

class TStringList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& operator[](int Index) const;
    std::string& operator[](int Index);
    int Add(const std::string& S);
    void Insert(int Index, const std::string& S);
    void Delete(int Index);
    void Clear() { FItems.clear(); }
    // The index of the first exact match, or -1.
    int IndexOf(const std::string& S) const;

    // Every string followed by CR LF.
    std::string Text() const;
    // Splits at CR LF, LF or CR; a final line break adds no empty line.
    void SetText(const std::string& Text);

    void LoadFromFile(const std::string& FileName);
    // Replaces the file whole or not at all (TAtomicFileStream).
    void SaveToFile(const std::string& FileName) const;

    const std::vector<std::string>& Items() const { return FItems; }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<std::string> FItems;
};
