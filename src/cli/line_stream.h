#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace ostravex::cli {

// `line` as a terminal may show it: control characters (C0, DEL, C1 and bytes that are not
// UTF-8) become C escapes ("\n", "\033", "\302\233"), and "\" becomes "\\" so that every
// escape reads one way. A name can then neither move the cursor nor retitle the window.
std::string EscapeControlCharacters(std::string_view line);

// `line` as one line for a pipe: a newline in a name becomes "\n", so that a reader that
// splits on newlines sees one line per log line or entry. Nothing else changes.
std::string KeepOnOneLine(std::string_view line);

// One output stream of the program. Every line goes through writeLine, which shows it
// escaped when the stream is a terminal and on one line always. The first failure to
// write is kept with its reason, as the stream itself forgets why it failed.
class LineStream {
  public:
    LineStream(std::ostream& stream, bool terminal) : m_stream(stream), m_terminal(terminal) {}

    void writeLine(std::string_view line);
    // Text the program itself wrote (the usage text, JSON, the progress bar), as it is.
    void writeRaw(std::string_view text);
    bool isTerminal() const { return m_terminal; }

    // Writes out what is buffered; true when everything written so far has gone out.
    bool flush();
    // Why writing failed (the system's text), once it has.
    const std::string& failure() const { return m_failure; }

  private:
    void noteFailure();

    std::ostream& m_stream;
    bool m_terminal;
    std::string m_failure;
};

}  // namespace ostravex::cli
