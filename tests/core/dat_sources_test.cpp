// Loading DATs as they are downloaded: DAT files as DAT-o-MATIC writes them (CRLF, byte order
// marks, UTF-16), zips of DATs, folders of them; a DAT reached twice, DATs of one name, DATs
// with roms that cannot be matched.
#include "datsources/dat_sources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iostream>

#include "dat/dat_list.h"
#include "support/archive_builders.h"
#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;

Bytes BytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

constexpr const char* kName = "Nintendo - Nintendo DS (Decrypted)";

// A DAT as DAT-o-MATIC writes it: XML declaration, DOCTYPE, a header with its clrmamepro
// element, CRLF line ends; a game name beyond the Basic Multilingual Plane, so UTF-16 needs
// a surrogate pair. `version` and `games` tell DATs apart.
std::string DatOMaticDat(const std::string& version = "20261201-101010", int games = 2,
                         const std::string& encoding = "UTF-8") {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"" + encoding +
        "\"?>\r\n"
        "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
        "\"http://www.logiqx.com/Dats/datafile.dtd\">\r\n"
        "<datafile>\r\n\t<header>\r\n\t\t<id>28</id>\r\n\t\t<name>" +
        std::string(kName) + "</name>\r\n\t\t<description>" + kName +
        "</description>\r\n\t\t<version>" + version +
        "</version>\r\n\t\t<author>A &amp; B</author>\r\n"
        "\t\t<homepage>No-Intro</homepage>\r\n\t\t<url>https://no-intro.invalid</url>\r\n"
        "\t\t<clrmamepro forcenodump=\"required\"/>\r\n\t</header>\r\n";
    for (int i = 0; i < games; ++i) {
        const std::string game = i == 0 ? "Pok\xC3\xA9mon \xF0\x9F\x8E\xAE (France)"
                                        : "Game " + std::to_string(i) + " (Europe)";
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08x", 0x1000 + i);
        text += "\t<game name=\"" + game + "\" id=\"000" + std::to_string(i) +
                "\">\r\n\t\t<description>" + game + "</description>\r\n\t\t<rom name=\"" + game +
                ".nds\" size=\"" + std::to_string(8388608 + i) + "\" crc=\"" + crc +
                "\" md5=\"0123456789abcdef0123456789abcdef\" "
                "sha1=\"00112233445566778899aabbccddeeff00112233\" "
                "sha256=\"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\" "
                "status=\"verified\" serial=\"AXVE\"/>\r\n\t</game>\r\n";
    }
    return text + "</datafile>\r\n";
}

// UTF-8 text as UTF-16 with its byte order mark.
Bytes Utf16(std::string_view utf8, bool bigEndian) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        char32_t code = length == 1   ? byte
                        : length == 2 ? byte & 0x1F
                        : length == 3 ? byte & 0x0F
                                      : byte & 0x07;
        for (int k = 1; k < length; ++k) {
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        if (code >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(code);
        }
    }
    Bytes bytes;
    for (const char16_t unit : u"\uFEFF" + units) {
        const auto high = static_cast<std::uint8_t>(unit >> 8);
        const auto low = static_cast<std::uint8_t>(unit & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

bool HaveTool(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) == 0;
}

// Runs `command` in `folder`.
void RunIn(const std::string& folder, const std::string& command) {
    ASSERT_EQ(std::system(("cd '" + folder + "' && " + command).c_str()), 0) << command;
}

std::vector<std::string> Sources(const LoadedDats& loaded) {
    std::vector<std::string> sources;
    for (const DatFile& dat : loaded.dats) {
        sources.push_back(dat.source);
    }
    return sources;
}

std::vector<std::string> FailureLines(const LoadedDats& loaded) {
    std::vector<std::string> lines;
    for (const DatSourceFailure& failure : loaded.failures) {
        lines.push_back(FailureLine(failure));
    }
    return lines;
}

TEST(DatSources, EveryFormOfADownloadedDatGivesTheSameDat) {
    TempDir dir;
    const std::string dat = DatOMaticDat();
    const std::string plain = dir.file("plain.dat");
    WriteFile(plain, BytesOf(dat));
    const LoadedDats reference = LoadDatSources({plain});
    ASSERT_TRUE(reference.failures.empty()) << FailureLines(reference)[0];
    ASSERT_EQ(reference.dats.size(), 1u);
    EXPECT_EQ(reference.dats[0].name, kName);
    EXPECT_EQ(reference.dats[0].version, "20261201-101010");
    ASSERT_EQ(reference.dats[0].roms.size(), 2u);
    EXPECT_EQ(reference.dats[0].roms[0].gameName, "Pok\xC3\xA9mon \xF0\x9F\x8E\xAE (France)");

    const std::string members = dir.subfolder("members");
    WriteFile(members + kName + std::string(".dat"), BytesOf(dat));
    const std::string quotedName = "'" + std::string(kName) + ".dat'";
    struct Row {
        const char* form;
        const char* tool;  // that writes it, or "" when the test does
        std::function<void(const std::string& path)> write;
    };
    const Row rows[] = {
        {"UTF-8 with a byte order mark", "",
         [&](const std::string& path) { WriteFile(path, BytesOf("\xEF\xBB\xBF" + dat)); }},
        {"UTF-16, little-endian, with its byte order mark", "",
         [&](const std::string& path) {
             WriteFile(path, Utf16(DatOMaticDat("20261201-101010", 2, "UTF-16"), false));
         }},
        {"UTF-16, big-endian, declared as UTF-16", "",
         [&](const std::string& path) {
             WriteFile(path, Utf16(DatOMaticDat("20261201-101010", 2, "UTF-16"), true));
         }},
        {"UTF-16 declared as UTF-8: the byte order mark decides", "",
         [&](const std::string& path) { WriteFile(path, Utf16(dat, false)); }},
        {"a zip written in code, deflated", "",
         [&](const std::string& path) {
             WriteFile(path, ZipBuilder().add(std::string(kName) + ".dat", BytesOf(dat)).build());
         }},
        {"a zip whose DAT is in a folder, beside a readme", "",
         [&](const std::string& path) {
             WriteFile(path, ZipBuilder()
                                 .add("readme.txt", BytesOf("not a DAT"))
                                 .add("dats/", {}, 0)
                                 .add("dats/nds.XML", BytesOf(dat), 0)
                                 .build());
         }},
        {"a zip by zip", "zip",
         [&](const std::string& path) { RunIn(members, "zip -q '" + path + "' " + quotedName); }},
        {"a zip by Python's zipfile", "python3",
         [&](const std::string& path) {
             RunIn(members,
                   "python3 -c \"import sys, zipfile\n"
                   "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                   "    z.write(sys.argv[2])\n\" '" +
                       path + "' " + quotedName);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.form);
        if (*row.tool != '\0' && !HaveTool(row.tool)) {
            std::cout << row.tool << " is not installed: " << row.form << " not tried\n";
            continue;
        }
        const bool zipped = std::string(row.form).find("zip") != std::string::npos;
        const std::string path = dir.file(zipped ? "form.zip" : "form.dat");
        std::remove(path.c_str());
        row.write(path);
        const LoadedDats loaded = LoadDatSources({path});
        ASSERT_TRUE(loaded.failures.empty()) << FailureLines(loaded)[0];
        EXPECT_TRUE(loaded.warnings.empty());
        ASSERT_EQ(loaded.dats.size(), 1u);
        EXPECT_TRUE(IsSameDat(loaded.dats[0], reference.dats[0]));
        EXPECT_EQ(loaded.dats[0].roms, reference.dats[0].roms);
        if (zipped) {
            EXPECT_TRUE(loaded.dats[0].source.starts_with(path + "| ")) << loaded.dats[0].source;
        }
    }
}

TEST(DatSources, AZipByAnotherNameIsReadAsAZip) {
    TempDir dir;
    const std::string path = dir.file("nds.dat");
    WriteFile(path, ZipBuilder().add("nds.dat", BytesOf(DatOMaticDat())).build());
    const LoadedDats loaded = LoadDatSources({path});
    ASSERT_TRUE(loaded.failures.empty()) << FailureLines(loaded)[0];
    ASSERT_EQ(loaded.dats.size(), 1u);
    EXPECT_EQ(loaded.dats[0].source, path + "| nds.dat");
}

TEST(DatSources, AFolderGivesItsDatsXmlsAndZipsInNameOrderNotItsSubfolders) {
    TempDir dir;
    const std::string dats = dir.subfolder("dats");
    WriteFile(dats + "b.xml", BytesOf(DatOMaticDat("2")));
    WriteFile(dats + "a.DAT", BytesOf(DatOMaticDat("1")));
    WriteFile(dats + "c.zip", ZipBuilder()
                                  .add("c1.dat", BytesOf(DatOMaticDat("3")))
                                  .add("c2.dat", BytesOf(DatOMaticDat("4")))
                                  .build());
    WriteFile(dats + "notes.txt", BytesOf("not read"));
    WriteFile(dir.subfolder("dats/deeper") + "d.dat", BytesOf(DatOMaticDat("5")));
    dir.subfolder("dats/folder.dat");
    for (const std::string& folder : {dats, dats.substr(0, dats.size() - 1)}) {
        SCOPED_TRACE(folder);
        const LoadedDats loaded = LoadDatSources({folder});
        ASSERT_TRUE(loaded.failures.empty()) << FailureLines(loaded)[0];
        EXPECT_EQ(Sources(loaded),
                  (std::vector<std::string>{dats + "a.DAT", dats + "b.xml", dats + "c.zip| c1.dat",
                                            dats + "c.zip| c2.dat"}));
    }
}

TEST(DatSources, ADatReachedTwiceIsKeptOnce) {
    TempDir dir;
    const std::string dat = DatOMaticDat();
    const std::string dats = dir.subfolder("dats");
    const std::string path = dats + "nds.dat";
    WriteFile(path, BytesOf(dat));
    std::string lf = dat;
    std::erase(lf, '\r');
    WriteFile(dir.file("lf.dat"), BytesOf(lf));
    WriteFile(dir.file("nds.zip"), ZipBuilder().add("nds.dat", BytesOf(dat)).build());
    WriteFile(dir.file("newer.dat"), BytesOf(DatOMaticDat("20261202-000000")));
    struct Row {
        const char* behaviour;
        std::vector<std::string> paths;
        std::size_t kept;
    };
    const Row rows[] = {
        {"one path twice", {path, path}, 1},
        {"a folder and a file in it", {dats, path}, 1},
        {"a copy with other line ends", {path, dir.file("lf.dat")}, 1},
        {"the zip and its unpacked DAT", {dir.file("nds.zip"), path}, 1},
        {"another version is another DAT", {path, dir.file("newer.dat"), path}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const LoadedDats loaded = LoadDatSources(row.paths);
        ASSERT_TRUE(loaded.failures.empty()) << FailureLines(loaded)[0];
        ASSERT_EQ(loaded.dats.size(), row.kept);
        // The first one met is kept.
        EXPECT_TRUE(loaded.dats[0].source.starts_with(row.paths[0])) << loaded.dats[0].source;
    }
}

TEST(DatSources, DatsOfOneNameAreToldApartByTheirVersions) {
    TempDir dir;
    const auto write = [&](const std::string& file, const std::string& text) {
        WriteFile(dir.file(file), BytesOf(text));
        return dir.file(file);
    };
    const std::string older = write("older.dat", DatOMaticDat("20250101-000000"));
    const std::string newer = write("newer.dat", DatOMaticDat("20261201-000000"));
    const std::string edited = write("edited.dat", DatOMaticDat("20261201-000000", 3));
    const std::string gba = write("gba.dat",
                                  "clrmamepro ( name \"Nintendo - Game Boy Advance\" "
                                  "version 1 )\ngame ( name g rom ( name g.gba size 4 "
                                  "crc 01234567 ) )\n");
    const std::string nameless = write("nameless.dat",
                                       "game ( name g rom ( name g.nds size 4 "
                                       "crc 01234567 ) )\n");
    const LoadedDats loaded = LoadDatSources({older, newer, edited, gba, nameless});
    ASSERT_TRUE(loaded.failures.empty()) << FailureLines(loaded)[0];
    std::vector<std::string> shown;
    for (const DatFile& dat : loaded.dats) {
        shown.push_back(dat.shownName());
    }
    const std::string name = kName;
    EXPECT_EQ(shown, (std::vector<std::string>{
                         name + ", 20250101-000000",
                         name + ", 20261201-000000, newer.dat",  // a version shared too
                         name + ", 20261201-000000, edited.dat",
                         "Nintendo - Game Boy Advance",  // its name alone tells it apart
                         "nameless.dat",
                     }));
}

TEST(DatSources, RomsThatCannotBeMatchedAreReportedOncePerDat) {
    TempDir dir;
    const std::string some = dir.file("some.dat");
    WriteFile(some, BytesOf("game ( name \"Good\" rom ( name a size 4 crc 01234567 ) )\n"
                            "game ( name \"Short SHA\" rom ( name b size 4 crc 01234567 sha1 "
                            "001122334455667788990011223344556677889 ) )\n"
                            "game ( name \"Short CRC\" rom ( name c size 4 crc 1234567 ) )\n"
                            "game ( name \"No Size\" rom ( name d crc 01234567 ) )\n"));
    const std::string all = dir.file("all.dat");
    WriteFile(all, BytesOf("game ( name \"Short CRC\" rom ( name c size 4 crc 1234567 ) )\n"
                           "game ( name \"No Size\" rom ( name d crc 01234567 ) )\n"));
    const LoadedDats loaded = LoadDatSources({some, some, all});
    EXPECT_EQ(
        loaded.warnings,
        (std::vector<std::string>{"WARNING: " + some +
                                  ": 3 entries left out (first: Short SHA: a 39-digit SHA-1)"}));
    EXPECT_EQ(FailureLines(loaded),
              (std::vector<std::string>{"ERROR: Cannot load DAT: " + all +
                                        ": no usable entry: 2 entries left out (first: Short "
                                        "CRC: a 7-digit CRC)"}));
    EXPECT_EQ(Sources(loaded), (std::vector<std::string>{some}));
}

TEST(DatSources, EverySourceThatCannotBeLoadedIsReportedAndTheOthersStillLoad) {
    TempDir dir;
    const std::string good = dir.file("good.dat");
    WriteFile(good, BytesOf(DatOMaticDat()));
    const std::string empty = dir.subfolder("empty");
    WriteFile(empty + "notes.txt", BytesOf("no DAT here"));
    WriteFile(dir.file("roms.zip"), ZipBuilder().add("a.nds", Bytes(64, 1)).build());
    WriteFile(dir.file("fake.zip"), BytesOf(DatOMaticDat()));
    const Bytes dat = BytesOf(DatOMaticDat());
    WriteFile(dir.file("damaged.zip"),
              ZipBuilder().add(ZipBuilder::Member("nds.dat", dat).claimingCrc(1)).build());
    // A member damaged so that its text breaks off: the archive's own check tells first.
    WriteFile(dir.file("cut-member.zip"),
              ZipBuilder()
                  .add(ZipBuilder::Member("nds.dat", Bytes(dat.begin(), dat.begin() + 300))
                           .claimingCrc(0x12345678))
                  .build());
    WriteFile(dir.file("cut.dat"), BytesOf(DatOMaticDat().substr(0, 300)));
    WriteFile(dir.file("text.dat"), BytesOf("Hello, this is not a DAT.\n"));
    struct Row {
        std::string path;
        std::string source;  // of the failure
        std::string reason;  // its beginning
    };
    const std::vector<Row> rows = {
        {dir.file("missing.dat"), dir.file("missing.dat"), "No such file or directory"},
        {empty, empty, "holds no .dat, .xml or .zip file"},
        {dir.file("roms.zip"), dir.file("roms.zip"), "holds no .dat or .xml file"},
        {dir.file("fake.zip"), dir.file("fake.zip"), "not a zip archive"},
        {dir.file("damaged.zip"), dir.file("damaged.zip") + "| nds.dat",
         "the data does not match its CRC-32"},
        {dir.file("cut-member.zip"), dir.file("cut-member.zip") + "| nds.dat",
         "the data does not match its CRC-32"},
        {dir.file("cut.dat"), dir.file("cut.dat"), "not a valid XML DAT: "},
        {dir.file("text.dat"), dir.file("text.dat"), "not a valid clrmamepro DAT: "},
    };
    std::vector<std::string> paths = {good};
    for (const Row& row : rows) {
        paths.push_back(row.path);
    }
    const LoadedDats loaded = LoadDatSources(paths);
    EXPECT_EQ(Sources(loaded), (std::vector<std::string>{good}));
    ASSERT_EQ(loaded.failures.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].path);
        EXPECT_EQ(loaded.failures[i].source, rows[i].source);
        EXPECT_TRUE(loaded.failures[i].reason.starts_with(rows[i].reason))
            << loaded.failures[i].reason;
        EXPECT_FALSE(loaded.failures[i].reason.empty());
    }
}

}  // namespace
}  // namespace ostravex
