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
// escaped when the stream is a terminal and on one line always.
class LineStream {
  public:
    LineStream(std::ostream& stream, bool terminal) : m_stream(stream), m_terminal(terminal) {}

    void writeLine(std::string_view line);
    // For text the program itself wrote (the usage text, the progress bar).
    std::ostream& raw() { return m_stream; }
    bool isTerminal() const { return m_terminal; }

  private:
    std::ostream& m_stream;
    bool m_terminal;
};

}  // namespace ostravex::cli
