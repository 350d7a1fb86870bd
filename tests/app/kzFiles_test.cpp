// File-name helpers and the resource type table.
#include "app/kzFiles.h"
#include "app/kzStrings.h"
#include "app/kzTypes.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(kzFiles, SplitsAFullPathIntoFolderNameAndExtension)
{
    EXPECT_EQ(ExtractFileName("C:\\Tools\\Varnelo.exe", true), "Varnelo.exe");
    EXPECT_EQ(ExtractFileName("C:\\Tools\\Varnelo.exe", false), "Varnelo");
    EXPECT_EQ(ExtractFileExt("C:\\Tools\\Varnelo.exe"), "exe");
    EXPECT_EQ(ExtractFilePath("C:\\Tools\\Varnelo.exe"), "C:\\Tools\\");
    EXPECT_EQ(RemoveFileExt("C:\\Tools\\Varnelo.exe"), "C:\\Tools\\Varnelo");
}

TEST(kzFiles, PathOfBareDriveGainsBackslashAndBareNameHasNoPath)
{
    EXPECT_EQ(ExtractFilePath("C:"), "C:\\");
    EXPECT_EQ(ExtractFilePath("C:Varnelo.exe"), "C:\\");
    EXPECT_EQ(ExtractFilePath("Varnelo.exe"), "");
    EXPECT_EQ(ExtractFilePath(""), "");
    EXPECT_EQ(ExtractFilePath("\\\\server\\share\\x.txt"), "\\\\server\\share\\");
}

TEST(kzFiles, DotInFolderNameIsTheLastDotWhenTheFileHasNone)
{
    EXPECT_EQ(ExtractFileExt("C:\\a.b\\readme"), "b\\readme");
    EXPECT_EQ(RemoveFileExt("C:\\a.b\\readme"), "C:\\a");
    EXPECT_EQ(ExtractFileName("C:\\a.b\\readme", false), "a");
    EXPECT_EQ(ExtractFileName("C:\\a.b\\readme", true), "readme");
}

TEST(kzFiles, NamesWithoutDotsOrDelimitersStayWhole)
{
    EXPECT_EQ(ExtractFileExt("readme"), "");
    EXPECT_EQ(RemoveFileExt("readme"), "readme");
    EXPECT_EQ(ExtractFileName("readme", false), "readme");
    EXPECT_EQ(ExtractFileName("", true), "");
    EXPECT_EQ(ExtractFileExt("archive.tar.gz"), "gz");
    EXPECT_EQ(ExtractFileExt("trailing."), "");
    EXPECT_EQ(RemoveFileExt(".profile"), "");
    EXPECT_EQ(ExtractFileName("C:\\Dir\\", true), "");
}

TEST(kzFiles, AddBackSlashNeverDoublesIt)
{
    EXPECT_EQ(AddBackSlash(""), "\\");
    EXPECT_EQ(AddBackSlash("C:"), "C:\\");
    EXPECT_EQ(AddBackSlash("C:\\"), "C:\\");
    EXPECT_EQ(AddBackSlash("C:\\Z"), "C:\\Z\\");
}

TEST(kzFiles, LastCharOfEmptyTextIsBlank)
{
    EXPECT_EQ(LastChar(""), ' ');
    EXPECT_EQ(LastChar("ab\\"), '\\');
}

TEST(kzFiles, ProgramFolderEndsInBackslashAndNameHasNoExtension)
{
    ASSERT_FALSE(ProgramPath().empty());
    EXPECT_EQ(ProgramPath().back(), '\\');
    EXPECT_EQ(ProgramName(), "kzFiles_test");
}

TEST(kzTypes, ResourceTypeNamesFollowTheirNumbers)
{
    EXPECT_EQ(ResourceTypeName(1), "RT_CURSOR");
    EXPECT_EQ(ResourceTypeName(3), "RT_ICON");
    EXPECT_EQ(ResourceTypeName(10), "RT_RCDATA");
    EXPECT_EQ(ResourceTypeName(13), "UNKNOWN");
    EXPECT_EQ(ResourceTypeName(14), "RT_GROUP_ICON");
    EXPECT_EQ(ResourceTypeName(16), "RT_VERSION");
    EXPECT_EQ(ResourceTypeName(18), "UNKNOWN");
    EXPECT_EQ(ResourceTypeName(22), "RT_ANIICON");
}

TEST(kzTypes, NumbersOutsideTheTableAreUnknownNotOutOfBounds)
{
    EXPECT_EQ(ResourceTypeName(0), "UNKNOWN");
    EXPECT_EQ(ResourceTypeName(23), "UNKNOWN");
    EXPECT_EQ(ResourceTypeName(-5), "UNKNOWN");
}

TEST(kzStrings, UnitListsExistFromStartUpWithThreeOwnedStringLists)
{
    EXPECT_EQ(KzStringList().Count(), 0);
    ASSERT_EQ(KzStringLists().Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(dynamic_cast<rtl::TStringList*>(KzStringLists().Items(i)), nullptr);
    EXPECT_TRUE(KzStringLists().OwnsObjects());
}

}  // namespace
}  // namespace app
