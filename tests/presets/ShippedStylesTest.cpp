// SPDX-License-Identifier: GPL-3.0-or-later
// The starter styles that ship with the program hold the previews the stroke engine draws today:
// a change of what the engine draws must come with the shipped files drawn again
// (tools/MakePresets.cpp), or the style list would show strokes the program no longer makes.
#include "presets/Styles.h"

#include "platform/formats/PictureFormats.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

TEST(ShippedStyles, HoldThePreviewsTheEngineDrawsToday) {
    RegisterPictureFormats();
    int styles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUOR_SOURCE_DIR "/resources/presets")) {
        if (entry.path().extension() != ".gst") continue;
        ++styles;
        const std::string name = entry.path().string();
        std::ifstream in(name, std::ios::binary);
        const std::vector<unsigned char> shipped((std::istreambuf_iterator<char>(in)),
                                                 std::istreambuf_iterator<char>());
        TQStyle style;
        style.LoadFromFile(name);
        // Written as the maker writes it: the preview drawn from seed 0 while the file is written.
        style.Dirty = true;
        RandSeed = 0;
        TMemoryStream drawn;
        style.SaveToStream(drawn);
        const std::vector<unsigned char> today(drawn.Memory(), drawn.Memory() + drawn.Size());
        EXPECT_TRUE(today == shipped) << name << " differs from the preview drawn today: run make_presets";
    }
    EXPECT_EQ(styles, 5);
}
