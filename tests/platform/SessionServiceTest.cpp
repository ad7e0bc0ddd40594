#include "platform/SessionService.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "platform/Files.h"

namespace {

using namespace tarvo::platform;

TEST(SessionService, FileAndText) {
    struct Where {
        std::map<std::string, std::string> env;
        std::optional<std::string> file;
    } wheres[] = {
        {{{"XDG_DATA_HOME", "/x/data"}, {"HOME", "/home/op"}},
         "/x/data/dbus-1/services/org.morvane.Tarvo.service"},
        {{{"HOME", "/home/op"}}, "/home/op/.local/share/dbus-1/services/org.morvane.Tarvo.service"},
        // A relative XDG folder counts as unset.
        {{{"XDG_DATA_HOME", "rel"}, {"HOME", "/home/op"}},
         "/home/op/.local/share/dbus-1/services/org.morvane.Tarvo.service"},
        {{}, std::nullopt},
    };
    for (const auto& w : wheres) {
        const auto file = SessionServiceFile("org.morvane.Tarvo", [&](const char* name) {
            const auto it = w.env.find(name);
            return it == w.env.end() ? std::nullopt : std::optional<std::string>(it->second);
        });
        EXPECT_EQ(file ? std::optional<std::string>(file->string()) : std::nullopt, w.file);
    }

    struct Exec {
        std::vector<std::string> command;
        std::optional<std::string> line;
    } execs[] = {
        {{"/usr/bin/tarvo", "--automation"}, "Exec=/usr/bin/tarvo --automation"},
        {{"/opt/my tarvo/tarvo", "--home", "/home/op/it's"},
         "Exec='/opt/my tarvo/tarvo' --home '/home/op/it'\\''s'"},
        {{"/usr/bin/tarvo", "--home", "/a$b\"c"}, "Exec=/usr/bin/tarvo --home '/a$b\"c'"},
        {{"/usr/bin/tarvo", "--home", "/a\nExec=/bin/sh"}, std::nullopt},
    };
    for (const auto& e : execs) {
        const auto text = SessionServiceText("org.morvane.Tarvo", e.command);
        if (!e.line) {
            EXPECT_FALSE(text);
            continue;
        }
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, "[D-BUS Service]\nName=org.morvane.Tarvo\n" + *e.line + "\n");
    }
}

TEST(SessionService, WrittenAndRemoved) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tarvo-service-" + std::to_string(std::random_device{}()));
    const auto file = dir / "dbus-1" / "services" / "org.morvane.Tarvo.service";
    ASSERT_FALSE(WriteSessionService(file, "text\n"));
    EXPECT_EQ(ReadFile(file, 100).value_or(""), "text\n");
    EXPECT_FALSE(RemoveSessionService(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(RemoveSessionService(file));  // already gone
    std::filesystem::remove_all(dir);
}

}  // namespace
