#include "archive/zip_reader.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/archive_builders.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::TempDir;
using testing::ZipBuilder;

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7) % 13);
    }
    return bytes;
}

class ZipReaderTest : public ::testing::Test {
  protected:
    std::string write(const Bytes& archive, const std::string& name = "a.zip") {
        const std::string path = dir.file(name);
        testing::WriteFile(path, archive);
        return path;
    }
    TempDir dir;
    TKAZip zip;
};

TEST_F(ZipReaderTest, StoredAndDeflatedMembersComeOutWhole) {
    const Bytes data = Pattern(100000);
    ASSERT_TRUE(
        zip.Open(write(ZipBuilder().add("s.nds", data, 0).add("roms/d.gba", data).build())).ok());
    ASSERT_TRUE(zip.IsZipFile());
    EXPECT_FALSE(zip.HasBadEntries());
    ASSERT_EQ(zip.Entries().size(), 2u);
    EXPECT_EQ(TKAZip::GetUnicodeFilename(zip.Entries()[1]), "roms/d.gba");
    int reports = 0;
    zip.OnDecompressFile = [&](std::uint32_t current, std::uint32_t total) {
        EXPECT_LE(current, total);
        ++reports;
    };
    for (const auto& entry : zip.Entries()) {
        ByteBuffer out;
        ASSERT_TRUE(zip.SaveToStream(entry, out).ok());
        EXPECT_EQ(Bytes(out.begin(), out.end()), data);
    }
    EXPECT_GE(reports, 1);
}

TEST_F(ZipReaderTest, EndRecordIsFoundWithinItsWindowsOnly) {
    struct Row {
        const char* name;
        std::size_t comment;
        bool badEntries;  // found only by rebuilding from local headers
    };
    // A small archive: the record is searched up to 278 bytes before the end.
    // Files of 1,024 bytes and more: up to 1,302 bytes; of 65,536 and more: 66,582 bytes.
    for (const Row& row : {Row{"comment of 256", 256, false}, Row{"comment of 257", 257, true},
                           Row{"comment of 1000", 1000, false}, Row{"comment of 5000", 5000, true},
                           Row{"comment of 65535", 65535, false}}) {
        const Bytes archive = ZipBuilder().add("x.nds", Pattern(2000)).comment(row.comment).build();
        TKAZip reader;
        ASSERT_TRUE(reader.Open(write(archive)).ok()) << row.name;
        EXPECT_TRUE(reader.IsZipFile()) << row.name;
        EXPECT_EQ(reader.HasBadEntries(), row.badEntries) << row.name;
        EXPECT_EQ(reader.Entries().size(), 1u) << row.name;
    }
}

TEST_F(ZipReaderTest, EndRecordFarBeyondTheLastWindowMeansRebuilding) {
    // The comment field holds at most 65,535 bytes; trailing bytes push the record further.
    Bytes archive = ZipBuilder().add("x.nds", Pattern(2000)).comment(65535).build();
    archive.insert(archive.end(), 1100, 'z');
    ASSERT_TRUE(zip.Open(write(archive)).ok());
    EXPECT_TRUE(zip.IsZipFile());
    EXPECT_TRUE(zip.HasBadEntries());
    ByteBuffer out;
    ASSERT_TRUE(zip.SaveToStream(zip.Entries()[0], out).ok());
    EXPECT_EQ(out.size(), 2000u);
}

TEST_F(ZipReaderTest, OpenTellsAZipFromOtherFilesAndMissingOnes) {
    struct Row {
        const char* what;
        const char* name;
        std::optional<Bytes> contents;  // none: the file does not exist
        bool isZip;
    };
    for (const Row& row : {Row{"zero-entry archive", "a.zip", ZipBuilder().build(), true},
                           Row{"text file", "notes.zip", Bytes(5000, 'a'), false},
                           Row{"missing file", "gone.zip", std::nullopt, false}}) {
        SCOPED_TRACE(row.what);
        const std::string path = row.contents ? write(*row.contents, row.name) : dir.file(row.name);
        const Status status = zip.Open(path);
        if (row.contents) {
            EXPECT_TRUE(status.ok()) << status.reason();
        } else {
            EXPECT_EQ(status.reason(), "File \"" + path + "\" not found!");
        }
        EXPECT_EQ(zip.IsZipFile(), row.isZip);
        EXPECT_TRUE(zip.Entries().empty());
    }
}

TEST_F(ZipReaderTest, NamesAreUtf8WithReplacementCharacters) {
    ASSERT_TRUE(zip.Open(write(ZipBuilder()
                                   .add("Pok\xC3\xA9mon.nds", Pattern(10))
                                   .add("Pok\xE9mon.nds", Pattern(10))
                                   .build()))
                    .ok());
    EXPECT_EQ(TKAZip::GetUnicodeFilename(zip.Entries()[0]), "Pok\xC3\xA9mon.nds");
    EXPECT_EQ(TKAZip::GetUnicodeFilename(zip.Entries()[1]), "Pok\xEF\xBF\xBDmon.nds");
}

TEST_F(ZipReaderTest, MembersThatCannotBeDecompressedAreFailuresAndWriteNothing) {
    using Member = ZipBuilder::Member;
    struct Row {
        Member member;
        std::string reason;
    };
    const Bytes data = Pattern(50000);
    for (const Row& row : {
             Row{Member("m12.nds", data, 12), "Cannot process this file: m12.nds "},
             Row{Member("enc.nds", data).encrypted(), "Cannot process this file: enc.nds "},
             Row{Member("short.nds", data).claiming(60000),
                 "the data inflates to fewer bytes than stated"},
             Row{Member("cut.nds", data, 0).cutShort(10), "the stored data is shorter than stated"},
             Row{Member("huge.nds", data).claiming(0x7FFFFFFF),
                 "the member claims more than 1 GiB"},
             Row{Member("local.nds", data).withBadLocalSignature(), "bad local header"},
             Row{Member("crc.nds", data, 0).claimingCrc(0x12345678),
                 "the data does not match its CRC-32"},
             Row{Member("crc.gba", data).claimingCrc(0x12345678),
                 "the data does not match its CRC-32"},
             Row{Member("empty.nds", {}, 0).claimingCrc(1), "the data does not match its CRC-32"},
         }) {
        TKAZip reader;
        ASSERT_TRUE(reader.Open(write(ZipBuilder().add(row.member).build())).ok());
        ByteBuffer out{1, 2, 3};
        const Status status = reader.SaveToStream(reader.Entries()[0], out);
        EXPECT_EQ(status.reason(), row.reason) << row.member.name;
        EXPECT_EQ(out.size(), 3u) << row.member.name;
    }
}

TEST_F(ZipReaderTest, CorruptDeflateDataIsZlibsError) {
    ZipBuilder::Member member("bad.nds", Pattern(50000));
    Bytes archive = ZipBuilder().add(member).build();
    for (std::size_t i = 40; i < 60; ++i) {
        archive[i] = 0xFF;  // inside the deflate stream
    }
    ASSERT_TRUE(zip.Open(write(archive)).ok());
    ByteBuffer out;
    EXPECT_FALSE(zip.SaveToStream(zip.Entries()[0], out).ok());
    EXPECT_TRUE(out.empty());
}

TEST_F(ZipReaderTest, AStoredMemberWithAFlippedByteFailsItsCrc) {
    Bytes archive = ZipBuilder().add("a.nds", Pattern(5000), 0).build();
    archive[30 + 5 + 2500] ^= 0x01;  // inside the stored data, after the local header and name
    ASSERT_TRUE(zip.Open(write(archive)).ok());
    ByteBuffer out;
    EXPECT_EQ(zip.SaveToStream(zip.Entries()[0], out).reason(),
              "the data does not match its CRC-32");
    EXPECT_TRUE(out.empty());
}

TEST_F(ZipReaderTest, TheEntryCountIsTheOneOfThisDisk) {
    struct Row {
        std::uint16_t onThisDisk;
        std::uint16_t total;
    };
    for (const Row& row : {Row{2, 7}, Row{1, 2}}) {
        TKAZip reader;
        ASSERT_TRUE(reader
                        .Open(write(ZipBuilder()
                                        .add("a.nds", Pattern(100))
                                        .add("b.nds", Pattern(200))
                                        .statingEntries(row.onThisDisk, row.total)
                                        .build()))
                        .ok());
        EXPECT_TRUE(reader.IsZipFile()) << row.total;
        EXPECT_EQ(reader.Entries().size(), row.onThisDisk) << row.total;
    }
}

TEST_F(ZipReaderTest, ArchivesWhoseEntriesOverlapAreRefused) {
    using Member = ZipBuilder::Member;
    // A whole archive holding b.nds, quoted as the stored data of a.nds: b.nds's local
    // record then lies inside a.nds's data, as in the zip bombs that quote one deflate
    // stream from many entries.
    const Bytes quoted = ZipBuilder().add("b.nds", Pattern(300), 0).build();
    const std::uint32_t aData = 30 + 5;  // after a.nds's local header and name
    struct Row {
        const char* name;
        Bytes archive;
    };
    for (const Row& row : {
             Row{"two entries of one local record",
                 ZipBuilder()
                     .add("a.nds", Pattern(300))
                     .add(Member("b.nds", Pattern(300)).localHeaderAt(0))
                     .build()},
             Row{"an entry inside another's data",
                 ZipBuilder()
                     .add("a.nds", quoted, 0)
                     .add(Member("b.nds", Pattern(300), 0).localHeaderAt(aData))
                     .build()},
         }) {
        TKAZip reader;
        EXPECT_EQ(reader.Open(write(row.archive)).reason(), "overlapping entries") << row.name;
        EXPECT_FALSE(reader.IsZipFile()) << row.name;
        EXPECT_TRUE(reader.Entries().empty()) << row.name;
    }
}

TEST_F(ZipReaderTest, RebuildFollowsDataDescriptors) {
    const Bytes archive = ZipBuilder()
                              .add(ZipBuilder::Member("a.nds", Pattern(3000)).withDataDescriptor())
                              .add("b.gba", Pattern(500))
                              .withoutEndRecord()
                              .build();
    ASSERT_TRUE(zip.Open(write(archive)).ok());
    ASSERT_EQ(zip.Entries().size(), 2u);
    EXPECT_TRUE(zip.HasBadEntries());
    ByteBuffer out;
    ASSERT_TRUE(zip.SaveToStream(zip.Entries()[0], out).ok());
    EXPECT_EQ(Bytes(out.begin(), out.end()), Pattern(3000));
}

}  // namespace
}  // namespace ostravex
