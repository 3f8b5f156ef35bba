// Names that look like the list's own text ("ZIP: ", "|", "| "), line breaks and bytes that
// are not UTF-8, in every position of an entry: the folder, the rom file, the archive and
// the member. Each rom is found by the scan and trimmed by the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <clocale>

#include "scan/rom_scanner.h"
#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::RarBuilder;
using testing::RarMember;
using testing::ReadFile;
using testing::RecordingHost;
using testing::SevenZipMember;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;
using testing::ZipMember;

constexpr std::uint32_t kUsed = 600000;

Bytes Rom() {
    return NdsImageBuilder().usedSize(kUsed).size(1048576).build();
}

// Runs the test inside a folder, so that the scan sees relative paths.
class WorkingFolder {
  public:
    explicit WorkingFolder(const std::string& folder) {
        char previous[PATH_MAX];
        m_previous = getcwd(previous, sizeof previous) ? previous : "/";
        EXPECT_EQ(chdir(folder.c_str()), 0);
    }
    ~WorkingFolder() { EXPECT_EQ(chdir(m_previous.c_str()), 0); }

  private:
    std::string m_previous;
};

// The programs run in the user's locale (the window and the command line set it); the
// archive library reads the UTF-16 names of 7z archives through it.
class Utf8Locale {
  public:
    Utf8Locale() : m_previous(std::setlocale(LC_CTYPE, nullptr)) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    ~Utf8Locale() { std::setlocale(LC_CTYPE, m_previous.c_str()); }

  private:
    std::string m_previous;
};

struct NameCase {
    const char* label;
    std::string name;
    // A zip member name is listed as text: bytes that are not UTF-8 become U+FFFD.
    std::string zipListed = name;
    // 7z stores names as UTF-16, so only text names can be put in one.
    bool textName = true;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}

class EntryNamesTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNamesTest, ScannedAndTrimmedInEveryPosition) {
    const std::string& n = GetParam().name;
    TempDir dir;
    const std::string folder = dir.subfolder(n);
    WriteFile(folder + n + "f.nds", Rom());
    WriteFile(folder + n + ".zip", ZipBuilder().add(n + "z.nds", Rom()).build());
    WriteFile(folder + n + ".rar", RarBuilder().add("set\\" + n + "r.nds", Rom()).build());
    // What a reader of the entry text would open instead: the text before the first "|".
    WriteFile(dir.file("a"), Bytes(3, 3));
    const std::string src = dir.subfolder("src");
    WriteFile(src + n + "s.nds", Rom());
    const bool sevenZip =
        GetParam().textName && testing::MakeSevenZip(folder + n + ".7z", src, {n + "s.nds"});
    std::remove((src + n + "s.nds").c_str());

    WorkingFolder working(dir.path());
    Utf8Locale locale;
    RecordingHost host;
    RomScanner scanner(host.frontEnd());
    scanner.scanFolderTree(n);

    const std::string at = n + "/";
    std::vector<RomListEntry> expected{
        RomListEntry::file(at + n + "f.nds"),
        ZipMember(at + n + ".zip", GetParam().zipListed + "z.nds"),
        // Rar and 7z members are listed under their paths, with "/" between folders; a
        // colon is an ordinary character.
        RarMember(at + n + ".rar", "set/" + n + "r.nds")};
    if (sevenZip) {
        expected.push_back(SevenZipMember(at + n + ".7z", n + "s.nds"));
    }
    ASSERT_EQ(host.entries, expected);

    testing::WiredTrimRun run(host);
    run.run(host.entries);
    EXPECT_EQ(run.counters().errors, 0) << ::testing::PrintToString(host.log);
    EXPECT_TRUE(host.notices.empty()) << ::testing::PrintToString(host.notices);
    EXPECT_EQ(host.labels[CounterLabel::Complete],
              "Files Processed: " + std::to_string(expected.size()) + "/" +
                  std::to_string(expected.size()));
    std::vector<std::string> outputs{n + "f.nds", GetParam().zipListed + "z.nds", n + "r.nds"};
    if (sevenZip) {
        outputs.push_back(n + "s.nds");
    }
    for (const std::string& output : outputs) {
        EXPECT_EQ(ReadFile(at + output).size(), kUsed) << ::testing::PrintToString(output);
    }
    EXPECT_EQ(ReadFile(dir.file("a")), Bytes(3, 3));
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNamesTest,
    ::testing::Values(NameCase{"Bar", "s|t"}, NameCase{"BarAndSpace", "a| b"},
                      NameCase{"ZipPrefix", "ZIP: q|x"}, NameCase{"SevenZipPrefix", "7ZIP: q| x"},
                      NameCase{"Newline", "two\nlines"},
                      NameCase{"NotUtf8", "\xff\xfe-\xc3(",
                               "\xef\xbf\xbd\xef\xbf\xbd-\xef\xbf\xbd(", false},
                      NameCase{"EscapeSequences", "\x1b[2J\x1b]0;title\x07"},
                      NameCase{"SpacesColonsAndNonAscii", "Pok\xc3\xa9mon: Blanc | 2"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ostravex
