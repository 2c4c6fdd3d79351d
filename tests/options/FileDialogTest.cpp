#include "FileDialog.h"

#include <gtest/gtest.h>

namespace {

TEST(FileDialog, FilterTextBecomesQtNameFiltersInOrder)
{
    const auto filters = parseFileFilter("Icons(*.ico;*.gif)|*.ico;*.gif|All files (*.*)|*.*|Orphan");
    ASSERT_EQ(filters.size(), 2u) << "a description without patterns offers nothing";
    EXPECT_EQ(toNameFilter(filters[0]), "Icons(*.ico;*.gif) (*.ico *.gif)");
    // "*.*" would hide files without a dot here; the filter means every file.
    EXPECT_EQ(toNameFilter(filters[1]), "All files (*.*) (*)");
}

// The program always offers "ico" as the default extension.
TEST(FileDialog, ChosenPathGetsTheDefaultExtensionAndMustFitTheLimit)
{
    const std::pair<QString, QString> cases[] = {{"/u/pic", "/u/pic.ico"},
                                                 {"/u/pic.bmp", "/u/pic.bmp"},
                                                 {"/u/my.pics/pic", "/u/my.pics/pic.ico"},
                                                 {"/u/pic.", "/u/pic."},
                                                 {"", ""}};
    for (const auto& [typed, chosen] : cases)
        EXPECT_EQ(acceptChosenPath(applyDefaultExtension(typed, "ico")), chosen) << typed.toStdString();
    const QString atLimit = "/" + QString(MaxChosenPathLength - 5, u'a');
    EXPECT_EQ(acceptChosenPath(applyDefaultExtension(atLimit, "ico")), atLimit + ".ico");
    EXPECT_EQ(acceptChosenPath(applyDefaultExtension(atLimit + "b", "ico")), "");
}

} // namespace
