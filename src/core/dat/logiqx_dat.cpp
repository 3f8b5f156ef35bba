// The Logiqx XML DAT format, as No-Intro writes it:
//   <datafile><header><name>...</name><version>...</version>...</header>
//   <game name="..."><description>...</description>
//     <rom name="..." size="..." crc="..." md5="..." sha1="..."/></game>...</datafile>
// read with expat. Only the fields above are taken; other elements and attributes are
// passed over. MAME-style DATs name their games <machine>, which is accepted too.
#include <expat.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "dat/dat_file.h"
#include "dat/dat_libraries.h"
#include "dat/dat_rom_fields.h"

namespace ostravex {
namespace {

class LogiqxReader {
  public:
    LogiqxReader(DatFile& dat, const ExpatFunctions& xml, XML_Parser parser)
        : m_dat(dat), m_xml(xml), m_parser(parser) {}

    static void XMLCALL start(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<LogiqxReader*>(self)->startElement(name, attributes);
    }
    static void XMLCALL end(void* self, const XML_Char* name) {
        static_cast<LogiqxReader*>(self)->endElement(name);
    }
    static void XMLCALL text(void* self, const XML_Char* bytes, int length) {
        static_cast<LogiqxReader*>(self)->characters(std::string_view(bytes, length));
    }

    bool sawDatafile() const { return m_sawDatafile; }

  private:
    enum class Field { None, HeaderName, HeaderVersion };

    void startElement(std::string_view name, const XML_Char** attributes) {
        ++m_depth;
        if (m_depth == 1) {
            m_sawDatafile = name == "datafile";
            return;
        }
        if (!m_sawDatafile) {
            return;
        }
        if (m_depth == 2) {
            m_inHeader = name == "header";
            m_inGame = name == "game" || name == "machine";
            if (m_inGame) {
                AssignAttribute(attributes, "name", m_gameName);
            }
            return;
        }
        if (m_depth == 3 && m_inHeader) {
            m_field = name == "name"      ? Field::HeaderName
                      : name == "version" ? Field::HeaderVersion
                                          : Field::None;
            readTextOfField();
            return;
        }
        if (m_depth == 3 && m_inGame && name == "rom") {
            // One set of fields is used for every rom, so that its strings are not made anew.
            m_fields.clear();
            for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
                m_fields.set(a[0], a[1]);
            }
            AddDatRom(m_fields, m_gameName, m_dat);
        }
    }

    void endElement(std::string_view) {
        if (m_depth == 3 && m_field != Field::None) {
            m_field = Field::None;
            readTextOfField();
        }
        if (m_depth == 2) {
            m_inHeader = false;
            m_inGame = false;
        }
        --m_depth;
    }

    // Text is wanted only inside the header's name and version: everywhere else (the
    // blanks between a DAT's tens of thousands of elements) expat is told not to hand it
    // over at all.
    void readTextOfField() {
        m_xml.SetCharacterDataHandler(m_parser, m_field == Field::None ? nullptr : &text);
    }

    void characters(std::string_view text) {
        if (m_field == Field::HeaderName) {
            m_dat.name += text;
        } else if (m_field == Field::HeaderVersion) {
            m_dat.version += text;
        }
    }

    static void AssignAttribute(const XML_Char** attributes, std::string_view wanted,
                                std::string& value) {
        for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
            if (wanted == a[0]) {
                value = a[1];
                return;
            }
        }
        value.clear();
    }

    DatFile& m_dat;
    const ExpatFunctions& m_xml;
    XML_Parser m_parser;
    int m_depth = 0;
    bool m_sawDatafile = false;
    bool m_inHeader = false;
    bool m_inGame = false;
    Field m_field = Field::None;
    std::string m_gameName;
    DatRomFields m_fields;
};

// The encoding a byte order mark gives the text, or null: expat then reads the XML
// declaration (UTF-8 when there is none). A UTF-16 DAT carries its mark; the name of the
// encoding is passed on so that the declaration ("UTF-16", or a wrong one) cannot
// contradict it.
const XML_Char* EncodingOfByteOrderMark(std::string_view text) {
    if (text.starts_with("\xFF\xFE")) {
        return "UTF-16LE";
    }
    if (text.starts_with("\xFE\xFF")) {
        return "UTF-16BE";
    }
    return nullptr;
}

}  // namespace

struct LogiqxDatStream::Parser {
    const ExpatFunctions* xml = nullptr;
    XML_Parser parser = nullptr;
    DatFile parsed;
    std::optional<LogiqxReader> reader;
    Status failure = Status::success();

    ~Parser() {
        if (parser != nullptr) {
            xml->ParserFree(parser);
        }
    }

    Status start(std::string_view firstPiece) {
        if (Status status = LoadExpat(xml); !status) {
            return status;
        }
        parser = xml->ParserCreate(EncodingOfByteOrderMark(firstPiece));
        if (parser == nullptr) {
            return Status::failure("out of memory");
        }
        reader.emplace(parsed, *xml, parser);
        xml->SetUserData(parser, &*reader);
        xml->SetElementHandler(parser, &LogiqxReader::start, &LogiqxReader::end);
        // No external entity or DTD is ever fetched: the DOCTYPE line of a No-Intro DAT
        // names a DTD on the web, which is only a name here.
        xml->SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
        return Status::success();
    }
};

LogiqxDatStream::LogiqxDatStream() : m_parser(std::make_unique<Parser>()) {}
LogiqxDatStream::~LogiqxDatStream() = default;

void LogiqxDatStream::expectRoms(std::size_t count) {
    m_parser->parsed.roms.reserve(count);
}

Status LogiqxDatStream::feed(std::string_view piece, bool last) {
    Parser& p = *m_parser;
    if (!p.failure) {
        return p.failure;
    }
    if (p.parser == nullptr) {
        if (Status status = p.start(piece); !status) {
            return p.failure = status;
        }
    }
    // expat takes its input in pieces of at most INT_MAX bytes.
    constexpr std::size_t kPiece = 64u << 20;
    do {
        const std::size_t length = std::min(kPiece, piece.size());
        const bool final = last && length == piece.size();
        if (p.xml->Parse(p.parser, piece.data(), static_cast<int>(length), final) ==
            XML_STATUS_ERROR) {
            return p.failure = Status::failure(
                       std::string("not a valid XML DAT: ") +
                       p.xml->ErrorString(p.xml->GetErrorCode(p.parser)) + " at line " +
                       std::to_string(p.xml->GetCurrentLineNumber(p.parser)));
        }
        piece.remove_prefix(length);
    } while (!piece.empty());
    return Status::success();
}

Status LogiqxDatStream::finish(DatFile& dat) {
    Parser& p = *m_parser;
    if (!p.failure) {
        return p.failure;
    }
    if (p.parser == nullptr || !p.reader->sawDatafile()) {
        return Status::failure("not a Logiqx DAT: its root element is not <datafile>");
    }
    dat = std::move(p.parsed);
    return Status::success();
}

Status ParseLogiqxDat(std::string_view text, DatFile& dat) {
    LogiqxDatStream stream;
    if (Status status = stream.feed(text, /*last=*/true); !status) {
        return status;
    }
    return stream.finish(dat);
}

}  // namespace ostravex
