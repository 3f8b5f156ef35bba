// Writes the seed corpora of the fuzz targets: small, valid or nearly valid inputs that take
// each reader down its main paths, so that the fuzzers start from deep inside the formats.
// Usage: make_seed_corpus CORPUS_FOLDER (its subfolders are named after the targets).
#include <filesystem>
#include <iostream>
#include <string>

#include "romformat/nds_header.h"
#include "sram/sram_catalogue.h"
#include "support/archive_builders.h"

namespace {

using ostravex::testing::Bytes;

class CorpusWriter {
  public:
    explicit CorpusWriter(std::filesystem::path root) : m_root(std::move(root)) {}

    void add(const std::string& target, const std::string& name, const Bytes& bytes) const {
        std::filesystem::create_directories(m_root / target);
        ostravex::testing::WriteFile((m_root / target / name).string(), bytes);
    }
    void add(const std::string& target, const std::string& name, const std::string& text) const {
        add(target, name, Bytes(text.begin(), text.end()));
    }

  private:
    std::filesystem::path m_root;
};

// Bytes that look like code, not filler, so no accidental signature or pad run forms.
Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return bytes;
}

Bytes Utf16Title(const std::u16string& title) {
    Bytes bytes;
    for (const char16_t unit : title) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

void WriteZipSeeds(const CorpusWriter& out) {
    using Member = ostravex::testing::ZipBuilder::Member;
    const Bytes data = Pattern(300);
    out.add("zip_reader", "stored_and_deflated.zip",
            ostravex::testing::ZipBuilder()
                .add("game one.nds", data, 0)
                .add("dir/caf\xC3\xA9.gba", Bytes(600, 0xFF), 8)
                .build());
    out.add("zip_reader", "data_descriptor_and_comment.zip",
            ostravex::testing::ZipBuilder()
                .add(Member("a.nds", data, 8).withDataDescriptor())
                .comment(12)
                .build());
    out.add("zip_reader", "encrypted_and_claiming.zip",
            ostravex::testing::ZipBuilder()
                .add(Member("secret.nds", data, 0).encrypted())
                .add(Member("big.gba", data, 8).claiming(1u << 20))
                .build());
    out.add("zip_reader", "no_end_record.zip",
            ostravex::testing::ZipBuilder()
                .add(Member("x:y.nds", data, 8).cutShort(4))
                .add("\xFF\xFEodd.nds", data, 0)
                .withoutEndRecord()
                .build());
    out.add("zip_reader", "zip64.zip",
            ostravex::testing::ZipBuilder()
                .add(Member("a.nds", data, 8).zip64())
                .add(Member("b.gba", data, 0).zip64())
                .zip64EndRecord()
                .build());
    out.add("zip_reader", "zip64_descriptor_no_end_record.zip",
            ostravex::testing::ZipBuilder()
                .add(Member("a.nds", data, 8).zip64().withDataDescriptor())
                .add(Member("b.gba", data, 0).zip64())
                .withoutEndRecord()
                .build());
}

void WriteNdsSeeds(const CorpusWriter& out) {
    constexpr std::size_t kBannerAt = 0x400;
    Bytes banner(ostravex::kBannerInfoBytes, 0);
    banner[0] = 1;
    const Bytes title = Utf16Title(u"Caf\u00e9 Game\nSubtitle\u3042");
    for (std::size_t language = 0; language < 6; ++language) {
        std::copy(title.begin(), title.end(), banner.begin() + 0x240 + 0x100 * language);
    }
    const auto header = [&](std::uint8_t unitCode) {
        return ostravex::testing::NdsImageBuilder()
            .size(kBannerAt + banner.size())
            .bytes(0, Bytes{'T', 'E', 'S', 'T', ' ', 'G', 'A', 'M', 'E', 0, 0, 0})
            .bytes(0x0C, Bytes{'A', 'B', 'C', 'E', '0', '1'})
            .byte(0x12, unitCode)
            .word(0x68, kBannerAt)
            .usedSize(kBannerAt + banner.size())
            .bytes(kBannerAt, banner);
    };
    out.add("nds_header", "nds_with_banner.nds", header(0).build());
    out.add("nds_header", "dsi_with_banner.nds",
            header(2).word(0x1E8, 0x500).word(0x1EC, 0x100).word(0x210, 0xC40).build());
    out.add("nds_header", "header_only.nds",
            ostravex::testing::NdsImageBuilder().size(0x200).headerFill(0x41).build());
}

void WriteTrimSeeds(const CorpusWriter& out) {
    using Block = ostravex::testing::NdsImageBuilder::Block;
    const auto nds = [](std::uint32_t used) {
        return ostravex::testing::NdsImageBuilder().size(0x1000).usedSize(used);
    };
    out.add("trim_decision", "nds_plain.nds", nds(0x600).build());
    out.add("trim_decision", "nds_wifi.nds", nds(0x600).wifiBlock(Block::Data).build());
    out.add("trim_decision", "nds_trimmed_with_block.nds",
            ostravex::testing::NdsImageBuilder()
                .size(0x600 + 136)
                .usedSize(0x600)
                .wifiBlock(Block::Data)
                .build());
    out.add("trim_decision", "nds_dsi.nds",
            nds(0x600).byte(0x12, 2).word(0x1E8, 0x800).word(0x1EC, 0x100).build());
    out.add("trim_decision", "nds_dsi_homebrew.nds",
            nds(0x600).byte(0x12, 3).word(0x210, 0x900).build());
    out.add("trim_decision", "gba_ff.gba",
            ostravex::testing::GbaImageBuilder().size(0x1000).dataEnd(0x500).build());
    out.add("trim_decision", "gba_00.gba",
            ostravex::testing::GbaImageBuilder().size(0x1000).dataEnd(0x500).filler(0).build());
}

void WriteSramSeeds(const CorpusWriter& out) {
    const auto& catalogue = ostravex::SramCatalogue();
    std::size_t groupStart = 0;
    for (std::size_t entry = 0; entry < catalogue.size(); ++entry) {
        if (catalogue[entry].group.empty()) {
            continue;
        }
        // Every signature of the group, each at an odd offset in its own 512-byte slot.
        const std::size_t count = entry - groupStart + 1;
        ostravex::testing::GbaImageBuilder image;
        image.size(512 * (count + 1)).dataEnd(512 * count + 100);
        for (std::size_t k = 0; k < count; ++k) {
            const auto signature = catalogue[groupStart + k].signature;
            image.bytes(512 * k + 33, Bytes(signature.begin(), signature.end()));
        }
        out.add("sram_patch", std::string(catalogue[entry].group) + ".gba", image.build());
        groupStart = entry + 1;
    }
    out.add("sram_patch", "v111.gba",
            ostravex::testing::GbaImageBuilder()
                .size(2048)
                .dataEnd(1000)
                .bytes(101, Bytes(std::begin(ostravex::kV111Signature),
                                  std::end(ostravex::kV111Signature)))
                .bytes(301, Bytes(std::begin(ostravex::kV111SecondarySignature),
                                  std::end(ostravex::kV111SecondarySignature)))
                .build());
}

void WriteRegSeeds(const CorpusWriter& out) {
    const std::pair<const char*, std::string> files[] = {
        {"settings.reg",
         "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\Ostravex]\r\n"
         "\"FormVersion\"=dword:00000000\r\n"
         "\"Edit1_Text\"=\"C:\\\\roms \\\"new\\\"/\"\r\n"
         "\"ModeOverwrite_Checked\"=\"TRUE\"\r\n"
         "\"BlendTrackBar_Position\"=dword:000000ff\r\n"
         "\r\n[HKEY_CURRENT_USER\\Ostravex\\Bgs]\r\n"
         "\"BgsPath_Text\"=hex(1):6c,00,0a,00,e9,00,3d,d8,00,de,00,00\r\n"},
        {"lf_bom_continuations.reg",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
         "[HKEY_CURRENT_USER\\Ostravex]\n"
         "; a comment\n"
         "\"B\"=hex(1):41,00,\\\n  42,00,00,00\n"
         "\"C\"=hex:01,02\n\"D\"=dword:zz\n\"E\"=hex(7):41,00,00,00,\\\n"
         "junk line\n"},
        {"odd_texts.reg",
         "Windows Registry Editor Version 5.00\r\n\r\n[k]\r\n"
         "\"nul\"=hex(1):61,00,00,00,01,00,00,00\r\n"
         "\"latin1\"=\"\xE9t\xE9\"\r\n"
         "\"lone\"=hex(1):00,d8,41,00,00,00\r\n"
         "\"other\"=hex(2):\\\\\r\n"},
    };
    for (const auto& [name, text] : files) {
        out.add("reg_file", name, text);
        out.add("settings_load", name, text);
    }
    // Large files in a few bytes, for the loader's target (it expands "\x01" COUNT PIECE
    // "\x02", "\x03" being the repetition's number): 28,000 keys, 60,000 values, and a value
    // with a name of 500,000 characters continued over 20,000 lines.
    const auto repeat = [](unsigned count, const std::string& piece) {
        return std::string("\x01") + static_cast<char>(count & 0xFF) +
               static_cast<char>(count >> 8) + piece + "\x02";
    };
    out.add("settings_load", "many_keys.reg",
            repeat(28000, "[HKEY_CURRENT_USER\\Ostravex\\k\x03]\r\n"));
    out.add("settings_load", "many_values.reg",
            "[HKEY_CURRENT_USER\\Ostravex]\r\n" + repeat(60000, "\"v\x03\"=\"x\"\r\n"));
    out.add("settings_load", "long_name_continued.reg",
            "[k]\r\n\"" + repeat(50000, "nnnnnnnnnn") + "\"=hex:\\\r\n" +
                repeat(20000, "  00,\\\r\n") + "  00\r\n");
}

void WriteArchiveSeeds(const CorpusWriter& out, const std::filesystem::path& scratch) {
    const Bytes data = Pattern(200);
    out.add("libarchive", "stored.rar",
            ostravex::testing::RarBuilder()
                .folder("games")
                .add("games\\one.nds", data)
                .add("two \xC3\xA9.gba", Bytes(64, 0xFF))
                .build());
    out.add("libarchive", "damaged_header.rar",
            ostravex::testing::RarBuilder()
                .add("a.nds", data)
                .add("b.nds", data)
                .damageHeader(1)
                .build());
    std::filesystem::create_directories(scratch / "folder");
    ostravex::testing::WriteFile((scratch / "folder/one.nds").string(), data);
    ostravex::testing::WriteFile((scratch / "two.gba").string(), Pattern(100));
    const auto archive = scratch / "solid.7z";
    if (ostravex::testing::MakeSevenZip(archive.string(), scratch.string(),
                                        {"folder", "two.gba"})) {
        out.add("libarchive", "solid.7z", ostravex::testing::ReadFile(archive.string()));
    } else {
        std::cerr << "7zz is missing: no 7z seed written\n";
    }
}

}  // namespace

// Replies of the version service and of HTTP servers on the way to it.
void WriteUpdateSeeds(const CorpusWriter& out) {
    out.add("http_reply", "ok.txt",
            std::string("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nenabled\r\n250\r\n"));
    out.add("http_reply", "redirection.txt",
            std::string("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:8080/a?b=1\r\n\r\n"));
    out.add("http_reply", "lf_lines.txt",
            std::string("HTTP/1.0 301 Moved\nlocation:\t/x \n\nbody"));
    out.add("http_reply", "empty_location.txt",
            std::string("HTTP/1.0 302 Found\r\nLocation:\r\n\r\n"));
    out.add("version_reply", "latest.txt", std::string("enabled\r\n250\r\n"));
    out.add("version_reply", "new_build.txt", std::string("enabled\n251\n"));
    out.add("version_reply", "notice.txt", std::string("disabled,Closed today\rx"));
    out.add("version_reply", "other.txt", std::string("<html>\r\n<body>"));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seed_corpus CORPUS_FOLDER\n";
        return 2;
    }
    const CorpusWriter out(argv[1]);
    WriteZipSeeds(out);
    WriteNdsSeeds(out);
    WriteTrimSeeds(out);
    WriteSramSeeds(out);
    WriteRegSeeds(out);
    WriteUpdateSeeds(out);
    const ostravex::testing::TempDir scratch;
    WriteArchiveSeeds(out, scratch.path());
    return 0;
}
