#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/TempDir.h"
#include "core/Messages.h"
#include "core/SaveTarget.h"

namespace fs = std::filesystem;
using orvala::SaveTarget;
using orvala::test::TempDir;

TEST(SaveTarget, LinksAreFollowedToTheFileTheyName)
{
    TempDir tmp;
    const std::string plain = tmp.file("plain.dat"), fresh = tmp.file("fresh.dat");
    std::ofstream(plain) << "x";
    fs::create_directory(tmp.file("sub"));
    fs::create_symlink(plain, tmp.file("abs.lnk"));
    fs::create_symlink("../plain.dat", tmp.file("sub/rel.lnk"));     // relative to the link's folder
    fs::create_symlink(tmp.file("sub/rel.lnk"), tmp.file("chain.lnk"));
    fs::create_symlink(tmp.file("notyet.dat"), tmp.file("dangling.lnk"));

    struct Case {
        std::string path, target;
    } cases[] = {
        {plain, plain},
        {fresh, fresh},
        {tmp.file("abs.lnk"), plain},
        {tmp.file("sub/rel.lnk"), plain},
        {tmp.file("chain.lnk"), plain},
        {tmp.file("dangling.lnk"), tmp.file("notyet.dat")},
    };
    // Compared lexically: resolving links here would hide a link left unresolved.
    for (const Case& c : cases)
        EXPECT_EQ(fs::path(SaveTarget(c.path)).lexically_normal(), fs::path(c.target).lexically_normal()) << c.path;
}

TEST(SaveTarget, FoldersDevicesAndLinksToThemAreRefused)
{
    TempDir tmp;
    fs::create_symlink("/dev/null", tmp.file("null.lnk"));
    for (const std::string& path : {tmp.path().string(), std::string("/dev/null"), tmp.file("null.lnk")}) {
        try {
            SaveTarget(path);
            ADD_FAILURE() << path << " was accepted";
        } catch (const orvala::OrvalaError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot write file " + path + ": not a regular file");
        }
    }
}

TEST(SaveTarget, WriteAndReplaceLeavesTheOldFileWhenWritingFails)
{
    TempDir tmp;
    const std::string file = tmp.file("table.txt");
    std::ofstream(file) << "old";
    EXPECT_THROW(orvala::WriteAndReplace(file,
                                         [](const std::string& temp) {
                                             std::ofstream(temp) << "half";
                                             throw std::runtime_error("disk full");
                                         }),
                 std::runtime_error);
    EXPECT_EQ(orvala::test::slurp(file), "old");
    EXPECT_FALSE(fs::exists(file + ".part"));
    orvala::WriteAndReplace(file, std::string_view("new"));
    EXPECT_EQ(orvala::test::slurp(file), "new");
    EXPECT_FALSE(fs::exists(file + ".part"));
}
