#include "settings/display_mode_list.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace {

std::vector<std::string> Texts(const DisplayModeList& modes) {
    std::vector<std::string> texts;
    for (const Resolution& resolution : modes) texts.push_back(ResolutionText(resolution));
    return texts;
}

TEST(DisplayModeListTest, ListsEachSizeOnceInAdapterOrderAcrossBothFormats) {
    FakeDisplayModes adapter;
    adapter.byFormat[kFormatX8R8G8B8] = {
        {1280, 1024, 60}, {1024, 768, 60}, {1024, 768, 75}, {800, 600, 60}};
    adapter.byFormat[kFormatR5G6B5] = {{1024, 768, 60}, {1920, 1080, 60}, {1024, 768, 75}};

    const DisplayModeChoice choice = BuildDisplayModeList(adapter, 0, 0);
    EXPECT_EQ(adapter.askedFormats, (std::vector<std::uint32_t>{22, 23}));
    EXPECT_EQ(Texts(choice.modes),
              (std::vector<std::string>{"1280 x 1024", "1024 x 768", "800 x 600", "1920 x 1080"}));
}

TEST(DisplayModeListTest, LeavesOutModesBelow640By480) {
    FakeDisplayModes adapter;
    adapter.byFormat[kFormatX8R8G8B8] = {
        {640, 400, 60}, {600, 800, 60}, {320, 240, 60}, {640, 480, 60}, {639, 1024, 60}};
    EXPECT_EQ(Texts(BuildDisplayModeList(adapter, 0, 0).modes),
              (std::vector<std::string>{"640 x 480"}));
}

TEST(DisplayModeListTest, SelectsTheEntryOfTheCurrentResolution) {
    FakeDisplayModes adapter;
    adapter.byFormat[kFormatX8R8G8B8] = {{800, 600, 60}, {1024, 768, 60}, {800, 600, 75}};
    adapter.byFormat[kFormatR5G6B5] = {{1280, 720, 60}};

    EXPECT_EQ(BuildDisplayModeList(adapter, 800, 600).selection, 0) << "first of its duplicates";
    EXPECT_EQ(BuildDisplayModeList(adapter, 1280, 720).selection, 2) << "found among 16-bit modes";
    EXPECT_EQ(BuildDisplayModeList(adapter, 1024, 600).selection, -1) << "width alone";
    EXPECT_EQ(BuildDisplayModeList(adapter, 640, 480).selection, -1) << "no earlier position kept";
    EXPECT_EQ(BuildDisplayModeList(adapter, -800, 600).selection, -1);
}

TEST(DisplayModeListTest, AnAdapterWithoutModesGivesAnEmptyListAndNoSelection) {
    FakeDisplayModes adapter;
    adapter.byFormat[kFormatX8R8G8B8] = {{320, 200, 60}};
    const DisplayModeChoice choice = BuildDisplayModeList(adapter, 800, 600);
    EXPECT_TRUE(choice.modes.empty());
    EXPECT_EQ(choice.selection, -1);
}

TEST(DisplayModeListTest, TextIsWidthXHeight) {
    EXPECT_EQ(ResolutionText({1920, 1080}), "1920 x 1080");
    EXPECT_EQ(ResolutionText({4294967295u, 640}), "4294967295 x 640");
}

}  // namespace
