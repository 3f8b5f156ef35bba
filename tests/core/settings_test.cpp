#include "settings/settings_groups.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>

#include "settings/dat_settings.h"
#include "settings/main_settings.h"
#include "settings/settings_file.h"
#include "settings/wizard_settings.h"
#include "support/rom_images.h"

namespace ostravex {
namespace {

TEST(RegFile, RoundTripsTextsNumbersAndEscapes) {
    RegFile file;
    file.set(kMainSettingsKey, "Edit1_Text", RegValue::String("C:\\roms \"new\"/"));
    file.set(kMainSettingsKey, "BlendTrackBar_Position", RegValue::Dword(255));
    file.set(kWizardSettingsKey, "BgsPath_Text", RegValue::String("line\nbreak \xC3\xA9"));
    const std::string text = file.Serialize();
    EXPECT_TRUE(
        text.starts_with("Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_CURRENT_USER\\Ostravex]\r\n"
                         "\"Edit1_Text\"=\"C:\\\\roms \\\"new\\\"/\"\r\n"
                         "\"BlendTrackBar_Position\"=dword:000000ff\r\n"))
        << text;
    EXPECT_NE(text.find("\"BgsPath_Text\"=hex(1):6c,00,69,00"), std::string::npos) << text;

    const RegFile back = RegFile::Parse(text);
    EXPECT_EQ(back.find(kMainSettingsKey, "Edit1_Text")->text, "C:\\roms \"new\"/");
    EXPECT_EQ(back.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 255u);
    EXPECT_EQ(back.find(kWizardSettingsKey, "BgsPath_Text")->text, "line\nbreak \xC3\xA9");
}

TEST(RegFile, AcceptsLfBomContinuationsAndOtherTypes) {
    const RegFile file = RegFile::Parse(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Ostravex]\n"
        "\"A\"=\"x\"\n\"B\"=hex(1):41,00,\\\n  42,00,00,00\n\"C\"=hex:01,02\n\"D\"=dword:zz\n"
        "junk line\n");
    EXPECT_EQ(file.find(kMainSettingsKey, "A")->text, "x");
    EXPECT_EQ(file.find(kMainSettingsKey, "B")->text, "AB");
    EXPECT_EQ(file.find(kMainSettingsKey, "C")->type, RegValue::Type::Other);
    EXPECT_EQ(file.find(kMainSettingsKey, "D")->type, RegValue::Type::Other);
}

RegFile ReadWrittenBack(const RegFile& file) {
    return RegFile::Parse(file.Serialize());
}

TEST(RegFile, AKeyOrValueMetAgainIsTheOneMetFirst) {
    const RegFile file = RegFile::Parse(
        "[k]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n[j]\r\n\"c\"=\"3\"\r\n[k]\r\n\"a\"=\"4\"\r\n");
    EXPECT_EQ(file.Serialize(),
              "Windows Registry Editor Version 5.00\r\n\r\n[k]\r\n\"a\"=\"4\"\r\n\"b\"=\"2\"\r\n"
              "\r\n[j]\r\n\"c\"=\"3\"\r\n");
}

// A hex value's line ending in "\\" goes on with the next line; so does an empty line after
// a value whose data ends in "\\" itself, as files written by earlier versions are read.
TEST(RegFile, ContinuationLinesOfHexValues) {
    struct Row {
        const char* behaviour;
        std::string content;
        std::string a;  // the value A's data as read
        bool bRead;     // B is a value of its own
    };
    for (const Row& row : {
             Row{"joined", "\"A\"=hex:01,\\\r\n  02\r\n\"B\"=\"b\"\r\n", "hex:01,02", true},
             Row{"texts do not continue", "\"A\"=\"x\\\\\"\r\n\"B\"=\"b\"\r\n", "", true},
             Row{"an empty line after a doubled mark", "\"A\"=hex:\\\\\r\n\r\n\"B\"=\"b\"\r\n",
                 "hex:\"B\"=\"b\"", false},
             Row{"an empty line after a single mark ends it",
                 "\"A\"=hex:01,\\\r\n\r\n\"B\"=\"b\"\r\n", "hex:01,", true},
             Row{"the file ends inside it", "\"A\"=hex:01,\\\r\n02,\\\\", "hex:01,02,", false},
         }) {
        const RegFile file = RegFile::Parse("[k]\r\n" + row.content);
        const RegValue* a = file.find("k", "A");
        ASSERT_NE(a, nullptr) << row.behaviour;
        if (!row.a.empty()) {
            EXPECT_EQ(a->text, row.a) << row.behaviour;
        }
        EXPECT_EQ(file.find("k", "B") != nullptr, row.bRead) << row.behaviour;
    }
}

TEST(RegFile, TextsOfAnyBytesComeBackAsTheyWere) {
    using namespace std::string_literals;
    struct Row {
        std::string text;
        bool hexForm;  // written as hex(1) rather than in quotes
    };
    for (const Row& row : {
             Row{"a\0b\x01"s, true},                     // NUL next to a control character
             Row{"line\nand \xff byte"s, true},          // invalid UTF-8 next to one
             Row{"\xc3\x01"s, true},                     // a sequence cut by a control character
             Row{"ends in NUL\0"s, true},                // the written terminator is not this one
             Row{"\0"s, true},                           // only a NUL
             Row{"latin-1 \xe9t\xe9"s, true},            // invalid UTF-8 alone
             Row{"\xed\xa0\x80 \xed\xb2\x80\t"s, true},  // surrogates spelled in UTF-8
             Row{"\xf4\x90\x80\x80 \xc0\xaf"s, true},    // past U+10FFFF, overlong
             Row{"\xef\xbf\xbd\r"s, true},               // a real U+FFFD
             Row{"\xf0\x9f\x98\x80\n\xc3\xa9"s, true},   // four-byte UTF-8
             Row{"C:\\ \"q\" \xc3\xa9\x7f"s, false},     // plain UTF-8 stays readable
         }) {
        RegFile file;
        file.set(kMainSettingsKey, "Edit1_Text", RegValue::String(row.text));
        const std::string written = file.Serialize();
        EXPECT_EQ(written.find("=hex(1):") != std::string::npos, row.hexForm) << written;
        const RegFile reread = RegFile::Parse(written);
        const RegValue* back = reread.find(kMainSettingsKey, "Edit1_Text");
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->type, RegValue::Type::String);
        EXPECT_EQ(back->text, row.text) << written;
    }
}

TEST(RegFile, ValuesOfOtherTypesSurviveEverySave) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[k]\r\n";
    for (const std::string& body : {
             std::string("\"A\"=hex(2):41,00,\\\\"),               // the file ends in "\\"
             std::string("\"A\"=hex(7):41,00,\\\r\n"),             // ends inside a continuation
             std::string("\"n=he\\x\"=raw\\\r\n\"B\"=\"b\"\r\n"),  // "=hex" only once unescaped
             std::string("\"A\"=hex:\\\r\n\\\r\n"),
         }) {
        const RegFile read = RegFile::Parse(head + body);
        const RegFile once = ReadWrittenBack(read);
        EXPECT_EQ(once, read) << body << "\nwritten:\n" << read.Serialize();
        EXPECT_EQ(ReadWrittenBack(once), read) << body;
    }
    const RegFile named = RegFile::Parse(head + "\"n=he\\x\"=raw\\\r\n\"B\"=\"b\"\r\n");
    ASSERT_NE(ReadWrittenBack(named).find("k", "B"), nullptr);
}

// Pieces that the reader and writer treat specially, for the generated cases below.
std::string RandomText(std::mt19937& random, bool allowLineFeed) {
    using namespace std::string_view_literals;
    // clang-format off
    static constexpr std::string_view kPieces[] = {
        "\0"sv, "\r", "\n", "\t", "\\", "\"", "=", "a", " ", "\x7f", "\xc3\xa9", "\xe2\x82\xac",
        "\xf0\x9f\x98\x80", "\xed\xa0\x80", "\xed\xb2\x80", "\xc3", "\x80", "\xff", "\xef\xbf\xbd",
        "hex", "hex(1):", "hex:", "dword:", "00,", "41,00,", "[", "]", ";", "\xef\xbb\xbf"};
    // clang-format on
    std::string text;
    const int pieces = std::uniform_int_distribution<int>(0, 8)(random);
    for (int i = 0; i < pieces; ++i) {
        if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
            text += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        } else {
            text += kPieces[std::uniform_int_distribution<std::size_t>(
                0, std::size(kPieces) - 1)(random)];
        }
    }
    if (!allowLineFeed) {
        std::erase(text, '\n');
    }
    return text;
}

TEST(RegFile, GeneratedValuesComeBackAsTheyWere) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        RegFile file;
        const int values = std::uniform_int_distribution<int>(1, 4)(random);
        for (int i = 0; i < values; ++i) {
            const std::string key = std::uniform_int_distribution<int>(0, 1)(random)
                                        ? std::string(kMainSettingsKey)
                                        : RandomText(random, false);
            const std::string name = RandomText(random, false);
            if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
                file.set(key, name, RegValue::Dword(static_cast<std::uint32_t>(random())));
            } else {
                file.set(key, name, RegValue::String(RandomText(random, true)));
            }
        }
        ASSERT_EQ(ReadWrittenBack(file), file) << file.Serialize();
    }
}

TEST(RegFile, GeneratedFilesAreWrittenBackAsTheyWereRead) {
    std::mt19937 random(1210);
    for (int round = 0; round < 3000; ++round) {
        std::string content = "[k]\r\n";
        const int lines = std::uniform_int_distribution<int>(1, 5)(random);
        for (int i = 0; i < lines; ++i) {
            content += "\"" + RandomText(random, false) + "\"=" + RandomText(random, false) +
                       (std::uniform_int_distribution<int>(0, 1)(random) ? "\\" : "") + "\r\n";
        }
        const RegFile read = RegFile::Parse(content);
        ASSERT_EQ(ReadWrittenBack(read), read) << content;
    }
}

TEST(SettingsReadRules, BooleansAndNumbers) {
    struct Row {
        RegValue value;
        std::optional<bool> boolean;
        std::optional<std::int32_t> number;
    };
    for (const Row& row : {
             Row{RegValue::String("TRUE"), true, std::nullopt},
             Row{RegValue::String("yes"), true, std::nullopt},
             Row{RegValue::String("Y"), true, std::nullopt},
             Row{RegValue::String("false"), false, std::nullopt},
             Row{RegValue::String("n"), false, std::nullopt},
             Row{RegValue::String("1"), true, 1},
             Row{RegValue::String("0"), false, 0},
             Row{RegValue::String("-7"), true, -7},
             Row{RegValue::String("maybe"), std::nullopt, std::nullopt},
             Row{RegValue::String(""), std::nullopt, std::nullopt},
             Row{RegValue::Dword(300), true, 300},
             Row{RegValue::Dword(0xFFFFFFFF), true, -1},
         }) {
        EXPECT_EQ(ReadBoolean(row.value), row.boolean) << row.value.text;
        EXPECT_EQ(ReadNumber(row.value), row.number) << row.value.text;
    }
}

// A group of the test's own, to pin what reading and writing any group does.
namespace test_settings {
inline constexpr TextSetting kText{"Text_Text", "start"};
inline constexpr BooleanSetting kFirst{"First_Checked", true, 1};
inline constexpr BooleanSetting kSecond{"Second_Checked", false, 1};
inline constexpr BooleanSetting kOther{"Other_Checked", false};
inline constexpr NumberSetting kNumber{"Number_Position", 7};
inline constexpr AnySetting kList[] = {&kText, &kFirst, &kSecond, &kOther, &kNumber};
inline constexpr SettingsGroup kGroup{"HKEY_CURRENT_USER\\Test", kList};
}  // namespace test_settings

TEST(SettingsGroups, ValuesStartAtTheirDefaults) {
    using namespace test_settings;
    const SettingValues values(kGroup);
    EXPECT_EQ(values.get(kText), "start");
    EXPECT_TRUE(values.get(kFirst));
    EXPECT_FALSE(values.get(kSecond));
    EXPECT_EQ(values.get(kNumber), 7);
    EXPECT_THROW(values.get(settings::kSramPatch), std::logic_error);  // not of this group
}

TEST(SettingsGroups, RestoreReadsEachValueAsItsType) {
    using namespace test_settings;
    struct Row {
        const char* behaviour;
        std::vector<std::pair<std::string, RegValue>> stored;  // in file order
        std::string text;
        bool first;
        bool second;
        bool other;
        std::int32_t number;
    };
    const Row rows[] = {
        {"nothing stored", {}, "start", true, false, false, 7},
        {"each readable value",
         {{"Other_Checked", RegValue::String("yes")},
          {"Text_Text", RegValue::String("t")},
          {"Number_Position", RegValue::String("50")}},
         "t",
         true,
         false,
         true,
         50},
        {"unreadable values keep their state",
         {{"Other_Checked", RegValue::String("perhaps")},
          {"Text_Text", RegValue::Dword(3)},
          {"Number_Position", RegValue::String("many")}},
         "start",
         true,
         false,
         false,
         7},
        {"a radio button on unchecks the others of its set",
         {{"Second_Checked", RegValue::String("TRUE")}},
         "start",
         false,
         true,
         false,
         7},
        {"in the group's order, not the file's",
         {{"Second_Checked", RegValue::String("TRUE")}, {"First_Checked", RegValue::String("1")}},
         "start",
         false,
         true,
         false,
         7},
        {"a radio button off clears only its own mark",
         {{"First_Checked", RegValue::String("FALSE")}},
         "start",
         false,
         false,
         false,
         7},
    };
    for (const Row& row : rows) {
        RegFile file;
        for (const auto& [name, value] : row.stored) {
            file.set(kGroup.key, name, value);
        }
        file.set("HKEY_CURRENT_USER\\Software\\Test", "Other_Checked", RegValue::String("TRUE"));
        SettingValues values(kGroup);
        EXPECT_TRUE(RestoreGroup(file, values)) << row.behaviour;
        EXPECT_EQ(values.get(kText), row.text) << row.behaviour;
        EXPECT_EQ(values.get(kFirst), row.first) << row.behaviour;
        EXPECT_EQ(values.get(kSecond), row.second) << row.behaviour;
        EXPECT_EQ(values.get(kOther), row.other) << row.behaviour;
        EXPECT_EQ(values.get(kNumber), row.number) << row.behaviour;
    }
}

TEST(SettingsGroups, NegativeFormVersionRestoresNothing) {
    using namespace test_settings;
    RegFile file;
    file.set(kGroup.key, "FormVersion", RegValue::Dword(0xFFFFFFFF));
    file.set(kGroup.key, "Other_Checked", RegValue::String("TRUE"));
    SettingValues values(kGroup);
    EXPECT_FALSE(RestoreGroup(file, values));
    EXPECT_EQ(values, SettingValues(kGroup));
}

TEST(SettingsGroups, SaveWritesEveryValueAndKeepsTheOtherGroup) {
    testing::TempDir dir;
    const std::string path = dir.file("deep/er/settings.reg");
    RegFile file;
    file.set(kWizardSettingsKey, "BgsPath_Text", RegValue::String("/pictures/"));
    SettingValues values(kMainGroup);
    values.set(settings::kSkipDsi, true);
    values.set(settings::kOpacity, 180);
    SaveGroup(file, values);
    ASSERT_TRUE(SaveSettingsFile(path, file).ok());

    RegFile back;
    ASSERT_TRUE(LoadSettingsFile(path, back).ok());
    EXPECT_EQ(back.find(kMainSettingsKey, "FormVersion")->type, RegValue::Type::Dword);
    EXPECT_EQ(back.find(kMainSettingsKey, "ModeOverwrite_Checked")->text, "TRUE");
    EXPECT_EQ(back.find(kMainSettingsKey, "SkipDSi_Checked")->text, "TRUE");
    EXPECT_EQ(back.find(kMainSettingsKey, "SramP_Checked")->text, "FALSE");
    EXPECT_EQ(back.find(kMainSettingsKey, "BlendTrackBar_Position")->dword, 180u);
    EXPECT_EQ(back.find(kWizardSettingsKey, "BgsPath_Text")->text, "/pictures/");
    const std::string text = back.Serialize();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 + 21 + 2 + 1);
    EXPECT_EQ(testing::ListFolder(dir.file("deep/er")), std::vector<std::string>{"settings.reg"});
}

TEST(SettingsGroups, TheWizardsGroupIsReadAndWrittenAsItsTable) {
    // Written out here, not taken from the code's table.
    const std::vector<std::pair<std::string, RegValue>> defaults = {
        {"FormVersion", RegValue::Dword(0)},
        {"BgsPath_Text", RegValue::String("")},
        {"FixedBgPath_Text", RegValue::String("")},
        {"RandomBgs_Checked", RegValue::String("TRUE")},
        {"FixedBg_Checked", RegValue::String("FALSE")},
    };
    RegFile expected;
    for (const auto& [name, value] : defaults) {
        expected.set(kWizardSettingsKey, name, value);
    }
    RegFile saved;
    SaveGroup(saved, ReadGroup(RegFile(), kWizardGroup));
    EXPECT_EQ(saved, expected) << saved.Serialize();

    // Its two radio buttons: the fixed picture stored as chosen unchecks the random pick.
    RegFile stored;
    stored.set(kWizardSettingsKey, "FixedBg_Checked", RegValue::String("TRUE"));
    const SettingValues back = ReadGroup(stored, kWizardGroup);
    EXPECT_FALSE(back.get(settings::kRandomBgs));
    EXPECT_TRUE(back.get(settings::kFixedBg));
}

TEST(SettingsFile, AMissingStoreIsEmptyAndAnUnwritableOneFails) {
    testing::TempDir dir;
    RegFile file;
    EXPECT_TRUE(LoadSettingsFile(dir.file("none.reg"), file).ok());
    EXPECT_FALSE(file.hasKey(kMainSettingsKey));
    testing::WriteFile(dir.file("blocker"), testing::Bytes(1, 0));
    EXPECT_TRUE(LoadSettingsFile(dir.file("blocker/settings.reg"), file).ok());
    EXPECT_FALSE(SaveSettingsFile(dir.file("blocker/settings.reg"), file).ok());
}

// What stands at the store's path may be anything: only a regular file of a sane size is
// read, and reading the others neither hangs nor takes all memory.
TEST(SettingsFile, OnlyARegularFileOfBoundedSizeIsRead) {
    testing::TempDir dir;
    const std::string stored =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ostravex]\r\n"
        "\"SramP_Checked\"=\"TRUE\"\r\n";
    const std::string atBound =
        stored + "; " + std::string(kMaxSettingsFileBytes - stored.size() - 4, 'x') + "\r\n";
    ASSERT_EQ(atBound.size(), kMaxSettingsFileBytes);
    testing::WriteFile(dir.file("regular.reg"), testing::Bytes(stored.begin(), stored.end()));
    testing::WriteFile(dir.file("at_bound.reg"), testing::Bytes(atBound.begin(), atBound.end()));
    const std::string tooLarge = atBound + "x";
    testing::WriteFile(dir.file("too_large.reg"), testing::Bytes(tooLarge.begin(), tooLarge.end()));
    ASSERT_EQ(mkfifo(dir.file("fifo.reg").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.reg").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("regular.reg").c_str(), dir.file("link.reg").c_str()), 0);
    dir.subfolder("folder.reg");
    struct Row {
        const char* name;
        bool read;
    };
    for (const Row& row : {
             Row{"regular.reg", true},
             Row{"link.reg", true},  // a link to a regular file is followed
             Row{"at_bound.reg", true},
             Row{"too_large.reg", false},
             Row{"fifo.reg", false},  // would wait for a writer for ever
             Row{"zero.reg", false},  // would never end
             Row{"folder.reg", false},
         }) {
        RegFile file;
        file.set("k", "v", RegValue::String("left over"));
        const Status status = LoadSettingsFile(dir.file(row.name), file);
        EXPECT_EQ(status.ok(), row.read) << row.name << ": " << status.reason();
        const RegValue* sramPatch = file.find(kMainSettingsKey, "SramP_Checked");
        EXPECT_EQ(sramPatch != nullptr, row.read) << row.name;
        EXPECT_FALSE(file.hasKey("k")) << row.name;
    }
    RegFile file;
    EXPECT_EQ(LoadSettingsFile(dir.file("too_large.reg"), file).reason(), "larger than 1 MiB");
    EXPECT_EQ(LoadSettingsFile(dir.file("fifo.reg"), file).reason(), "not a regular file");
}

TEST(SettingsFile, AFileWithoutReadPermissionIsAFailure) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    testing::TempDir dir;
    testing::WriteFile(dir.file("settings.reg"), testing::Bytes(10, 'x'));
    ASSERT_EQ(chmod(dir.file("settings.reg").c_str(), 0), 0);
    RegFile file;
    EXPECT_FALSE(LoadSettingsFile(dir.file("settings.reg"), file).ok());
}

// What the link at `path` holds; empty when `path` is no link.
std::string LinkText(const std::string& path) {
    std::error_code error;
    const std::filesystem::path text = std::filesystem::read_symlink(path, error);
    return error ? std::string() : text.string();
}

// A store saved through a symbolic link (a dotfiles folder, a synced folder) changes the
// file the link leads to, keeping its permission bits, and the link stays a link. The new
// content is made beside that file, so that it can be renamed over it even on another file
// system than the link's, and nothing else is left in either folder.
TEST(SettingsFile, ASaveThroughALinkWritesItsTargetAndTheLinkStays) {
    struct Row {
        const char* behaviour;
        const char* linkText;  // what the store's link holds ("@" stands for the target folder)
        const char* between;   // what a link between the two holds ("" for none)
        bool targetExists;
        bool onAnotherFileSystem;
    };
    for (const Row& row : {
             Row{"absolute link", "@/target.reg", "", true, false},
             Row{"relative link", "../dotfiles/target.reg", "", true, false},
             Row{"link to a link", "@/middle.reg", "target.reg", true, false},
             Row{"link to a file not made yet", "@/target.reg", "", false, false},
             Row{"link to another file system", "@/target.reg", "", true, true},
         }) {
        testing::TempDir dir;
        std::string folder = dir.subfolder("dotfiles");
        char elsewhere[] = "/dev/shm/ostravex-test-XXXXXX";
        if (row.onAnotherFileSystem) {
            if (!mkdtemp(elsewhere)) {
                continue;  // no second file system here
            }
            folder = std::string(elsewhere) + "/";
        }
        const auto placed = [&](std::string text) {
            return text.starts_with('@') ? folder + text.substr(2) : text;
        };
        const std::string target = folder + "target.reg";
        if (row.targetExists) {
            testing::WriteFile(target, testing::Bytes(3, 'x'));
            ASSERT_EQ(chmod(target.c_str(), 0640), 0);
        }
        if (*row.between) {
            ASSERT_EQ(symlink(row.between, (folder + "middle.reg").c_str()), 0);
        }
        const std::string store = dir.subfolder("config") + "settings.reg";
        ASSERT_EQ(symlink(placed(row.linkText).c_str(), store.c_str()), 0);

        RegFile file;
        file.set(kMainSettingsKey, "SramP_Checked", RegValue::String("TRUE"));
        const Status saved = SaveSettingsFile(store, file);
        ASSERT_TRUE(saved.ok()) << row.behaviour << ": " << saved.reason();

        EXPECT_EQ(LinkText(store), placed(row.linkText)) << row.behaviour;
        const std::string content = file.Serialize();
        EXPECT_EQ(testing::ReadFile(target), testing::Bytes(content.begin(), content.end()))
            << row.behaviour;
        struct stat info {};
        ASSERT_EQ(lstat(target.c_str(), &info), 0) << row.behaviour;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << row.behaviour;
        EXPECT_EQ(info.st_mode & 07777, row.targetExists ? 0640u : 0600u) << row.behaviour;
        EXPECT_EQ(testing::ListFolder(dir.file("config")), std::vector<std::string>{"settings.reg"})
            << row.behaviour;
        std::vector<std::string> expected = {"target.reg"};
        if (*row.between) {
            expected.insert(expected.begin(), "middle.reg");
        }
        EXPECT_EQ(testing::ListFolder(folder), expected) << row.behaviour;
        if (row.onAnotherFileSystem) {
            std::filesystem::remove_all(elsewhere);
        }
    }
}

// What the store leads to that is not a regular file is never replaced, whichever way the
// store leads to it.
TEST(SettingsFile, ALinkToSomethingElseThanARegularFileIsNotWrittenOver) {
    testing::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    dir.subfolder("folder");
    for (const char* what : {"fifo", "folder"}) {
        const std::string store = dir.file(std::string(what) + ".reg");
        ASSERT_EQ(symlink(dir.file(what).c_str(), store.c_str()), 0);
        EXPECT_FALSE(SaveSettingsFile(store, RegFile()).ok()) << what;
        EXPECT_EQ(LinkText(store), dir.file(what)) << what;
    }
    struct stat info {};
    ASSERT_EQ(lstat(dir.file("fifo").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(testing::ListFolder(dir.path()),
              (std::vector<std::string>{"fifo", "fifo.reg", "folder", "folder.reg"}));
}

// Whether `work`, run in a child process, ends within a few seconds; the child is killed
// when it does not.
bool EndsInAChildProcess(const std::function<void()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        work();
        _exit(0);
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < giveUp) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return false;
}

// The temporary of a save is a new file of its own: what already stands at a name a save
// once used (a fifo, which would make the save wait for ever; a link, which would make it
// write the file linked to) is neither opened nor followed, and is left as it is.
TEST(SettingsFile, WhatStandsAtTheOldTemporaryNameIsLeftAlone) {
    for (const char* what : {"fifo", "link"}) {
        testing::TempDir dir;
        const std::string store = dir.file("settings.reg");
        const std::string oldTemporary = store + ".tmp";
        const testing::Bytes victim = {'m', 'i', 'n', 'e'};
        testing::WriteFile(dir.file("victim"), victim);
        if (what == std::string("fifo")) {
            ASSERT_EQ(mkfifo(oldTemporary.c_str(), 0600), 0);
        } else {
            ASSERT_EQ(symlink(dir.file("victim").c_str(), oldTemporary.c_str()), 0);
        }
        RegFile file;
        file.set(kMainSettingsKey, "SramP_Checked", RegValue::String("TRUE"));
        EXPECT_TRUE(EndsInAChildProcess([&] { (void)SaveSettingsFile(store, file); })) << what;

        RegFile back;
        EXPECT_TRUE(LoadSettingsFile(store, back).ok()) << what;
        EXPECT_EQ(back.Serialize(), file.Serialize()) << what;
        EXPECT_EQ(testing::ReadFile(dir.file("victim")), victim) << what;
        struct stat info {};
        ASSERT_EQ(lstat(oldTemporary.c_str(), &info), 0) << what;
        EXPECT_TRUE(what == std::string("fifo") ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode))
            << what;
        EXPECT_EQ(testing::ListFolder(dir.path()),
                  (std::vector<std::string>{"settings.reg", "settings.reg.tmp", "victim"}))
            << what;
    }
}

// A value removed leaves the others where they were, each still found by its name.
TEST(RegFile, RemovingAValueKeepsTheOthersAndTheirOrder) {
    RegFile file;
    for (const char* name : {"a", "b", "c", "d"}) {
        file.set("K", name, RegValue::String(name));
    }
    EXPECT_TRUE(file.remove("K", "b"));
    EXPECT_FALSE(file.remove("K", "b"));
    EXPECT_FALSE(file.remove("Other", "a"));
    EXPECT_EQ(file.find("K", "b"), nullptr);
    for (const char* name : {"a", "c", "d"}) {
        ASSERT_NE(file.find("K", name), nullptr) << name;
        EXPECT_EQ(file.find("K", name)->text, name);
    }
    file.set("K", "c", RegValue::String("changed"));
    file.set("K", "e", RegValue::String("e"));
    EXPECT_EQ(file.find("K", "c")->text, "changed");
    EXPECT_EQ(RegFile::Parse(file.Serialize()), file);
    EXPECT_NE(file.Serialize().find("\"a\"=\"a\"\r\n\"c\"=\"changed\"\r\n\"d\"=\"d\"\r\n\"e\""),
              std::string::npos);
}

TEST(DatSettingsStore, ListAndCheckComeBackAndAShorterListLeavesNoStaleSource) {
    RegFile file;
    const DatSettings three{{"/dats/a.dat", "/dats/b b.zip", "/dats/folder"}, true};
    SaveDatSettings(file, three);
    EXPECT_EQ(ReadDatSettings(file), three);
    EXPECT_EQ(file.find(kMainSettingsKey, "DatCount"), nullptr);

    const DatSettings one{{"/dats/c.dat"}, false};
    SaveDatSettings(file, one);
    EXPECT_EQ(ReadDatSettings(file), one);
    EXPECT_EQ(file.find(kDatSettingsKey, "Dat2"), nullptr);
    EXPECT_EQ(file.find(kDatSettingsKey, "Dat3"), nullptr);
    EXPECT_EQ(ReadDatSettings(RegFile::Parse(file.Serialize())), one);
}

// A damaged group gives what can be read of it, never more sources than are stored.
TEST(DatSettingsStore, ADamagedGroupGivesWhatCanBeRead) {
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, RegValue>> values;
        DatSettings expected;
    };
    const std::vector<Row> rows = {
        {"no group", {}, {}},
        {"a negative count",
         {{"DatCount", RegValue::String("-3")}, {"Dat1", RegValue::String("/a")}},
         {}},
        {"a count read as negative",
         {{"DatCount", RegValue::Dword(0xFFFFFFFF)}, {"Dat1", RegValue::String("/a")}},
         {}},
        {"a huge count",
         {{"DatCount", RegValue::Dword(0x7FFFFFFF)}, {"Dat2", RegValue::String("/b")}},
         {{"/b"}, false}},
        {"an empty and a missing source",
         {{"DatCount", RegValue::Dword(4)},
          {"Dat1", RegValue::String("")},
          {"Dat3", RegValue::String("/c")},
          {"CheckPadding", RegValue::String("yes")}},
         {{"/c"}, true}},
    };
    for (const Row& row : rows) {
        RegFile file;
        for (const auto& [name, value] : row.values) {
            file.set(kDatSettingsKey, name, value);
        }
        EXPECT_EQ(ReadDatSettings(file), row.expected) << row.what;
    }
}

}  // namespace
}  // namespace ostravex
