// The clrmamepro text DAT format:
//   clrmamepro ( name "Nintendo - Nintendo DS" version 20240101 )
//   game ( name "Game (Europe)" description "Game (Europe)"
//          rom ( name "Game (Europe).nds" size 67108864 crc 1a2b3c4d md5 ... sha1 ... ) )
// A file is a list of blocks `keyword ( key value ... )`; a value is a word, a quoted
// string (no escapes: names may hold backslashes) or a nested block. Only the header's
// name and version and each game's name and roms are taken; anything else is passed over.
#include <string>

#include "dat/dat_file.h"
#include "dat/dat_rom_fields.h"

namespace ostravex {
namespace {

struct Token {
    enum class Kind { Open, Close, Word, End } kind;
    std::string_view text;
    std::size_t line;
};

class Tokenizer {
  public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}

    // The next token; a quoted string that never ends is an error.
    Status next(Token& token) {
        skipBlanks();
        token.line = m_line;
        if (m_at == m_text.size()) {
            token = {Token::Kind::End, {}, m_line};
            return Status::success();
        }
        const char c = m_text[m_at];
        if (c == '(' || c == ')') {
            token = {c == '(' ? Token::Kind::Open : Token::Kind::Close, m_text.substr(m_at, 1),
                     m_line};
            ++m_at;
            return Status::success();
        }
        if (c == '"') {
            const std::size_t close = m_text.find('"', m_at + 1);
            if (close == std::string_view::npos) {
                return Status::failure("a quoted text that never ends, from line " +
                                       std::to_string(m_line));
            }
            token = {Token::Kind::Word, m_text.substr(m_at + 1, close - m_at - 1), m_line};
            for (std::size_t i = m_at; i < close; ++i) {
                m_line += m_text[i] == '\n';
            }
            m_at = close + 1;
            return Status::success();
        }
        const std::size_t start = m_at;
        while (m_at < m_text.size() && !IsBlank(m_text[m_at]) && m_text[m_at] != '(' &&
               m_text[m_at] != ')' && m_text[m_at] != '"') {
            ++m_at;
        }
        token = {Token::Kind::Word, m_text.substr(start, m_at - start), m_line};
        return Status::success();
    }

  private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void skipBlanks() {
        while (m_at < m_text.size() && IsBlank(m_text[m_at])) {
            m_line += m_text[m_at] == '\n';
            ++m_at;
        }
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    std::size_t m_line = 1;
};

class ClrMameProReader {
  public:
    ClrMameProReader(std::string_view text, DatFile& dat) : m_tokens(text), m_dat(dat) {}

    Status read() {
        for (;;) {
            Token keyword;
            if (Status status = m_tokens.next(keyword); !status) {
                return status;
            }
            if (keyword.kind == Token::Kind::End) {
                return Status::success();
            }
            if (keyword.kind != Token::Kind::Word) {
                return unexpected(keyword, "a block name");
            }
            if (Status status = expect(Token::Kind::Open, "("); !status) {
                return status;
            }
            Status status =
                keyword.text == "clrmamepro" ? readHeader()
                : keyword.text == "game" || keyword.text == "machine" || keyword.text == "resource"
                    ? readGame()
                    : skipBlockBody();
            if (!status) {
                return status;
            }
        }
    }

  private:
    // Reads `key value` pairs up to the block's ")"; `onPair` gets each pair whose value is
    // a word, `onBlock` each key whose value is a block (called after its "(" is read; it
    // reads up to the block's ")").
    template <typename OnPair, typename OnBlock>
    Status readPairs(OnPair onPair, OnBlock onBlock) {
        for (;;) {
            Token key;
            if (Status status = m_tokens.next(key); !status) {
                return status;
            }
            if (key.kind == Token::Kind::Close) {
                return Status::success();
            }
            if (key.kind != Token::Kind::Word) {
                return unexpected(key, "a field name or \")\"");
            }
            Token value;
            if (Status status = m_tokens.next(value); !status) {
                return status;
            }
            if (value.kind == Token::Kind::Open) {
                if (Status status = onBlock(key.text); !status) {
                    return status;
                }
            } else if (value.kind == Token::Kind::Word) {
                onPair(key.text, value.text);
            } else if (value.kind == Token::Kind::Close) {
                return Status::success();  // a last field without a value (a flag)
            } else {
                return unexpected(value, "a value");
            }
        }
    }

    Status readHeader() {
        return readPairs(
            [this](std::string_view key, std::string_view value) {
                if (key == "name") {
                    m_dat.name = value;
                } else if (key == "version") {
                    m_dat.version = value;
                }
            },
            [this](std::string_view) { return skipBlockBody(); });
    }

    Status readGame() {
        std::string gameName;
        std::vector<DatRomFields> roms;
        Status status = readPairs(
            [&](std::string_view key, std::string_view value) {
                if (key == "name") {
                    gameName = value;
                }
            },
            [&](std::string_view key) {
                if (key != "rom") {
                    return skipBlockBody();
                }
                DatRomFields& fields = roms.emplace_back();
                return readPairs([&](std::string_view field,
                                     std::string_view value) { fields.set(field, value); },
                                 [this](std::string_view) { return skipBlockBody(); });
            });
        if (!status) {
            return status;
        }
        // The game's name may follow its roms.
        for (const DatRomFields& fields : roms) {
            AddDatRom(fields, gameName, m_dat);
        }
        return Status::success();
    }

    // Passes over the rest of a block whose "(" has been read, nested blocks included,
    // without recursion, so no nesting depth can exhaust the stack.
    Status skipBlockBody() {
        std::size_t depth = 1;
        while (depth > 0) {
            Token token;
            if (Status status = m_tokens.next(token); !status) {
                return status;
            }
            if (token.kind == Token::Kind::End) {
                return unexpected(token, "\")\"");
            }
            depth += token.kind == Token::Kind::Open;
            depth -= token.kind == Token::Kind::Close;
        }
        return Status::success();
    }

    Status expect(Token::Kind kind, const char* what) {
        Token token;
        if (Status status = m_tokens.next(token); !status) {
            return status;
        }
        return token.kind == kind ? Status::success() : unexpected(token, what);
    }

    static Status unexpected(const Token& token, const char* wanted) {
        const std::string found = token.kind == Token::Kind::End
                                      ? "the end of the file"
                                      : "\"" + std::string(token.text.substr(0, 40)) + "\"";
        return Status::failure("not a valid clrmamepro DAT: " + std::string(wanted) +
                               " expected at line " + std::to_string(token.line) + ", found " +
                               found);
    }

    Tokenizer m_tokens;
    DatFile& m_dat;
};

}  // namespace

Status ParseClrMameProDat(std::string_view text, DatFile& dat) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    DatFile parsed;
    if (Status status = ClrMameProReader(text, parsed).read(); !status) {
        return status;
    }
    dat = std::move(parsed);
    return Status::success();
}

}  // namespace ostravex
