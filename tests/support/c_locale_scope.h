#pragma once

#include <clocale>
#include <string>

namespace ostravex::testing {

// Puts the process under the C locale, as a program started without LANG runs (scripts,
// cron jobs, CI), and gives the previous locale back at the end of the scope.
class CLocaleScope {
  public:
    CLocaleScope() : m_previous(std::setlocale(LC_ALL, nullptr)) { std::setlocale(LC_ALL, "C"); }
    ~CLocaleScope() { std::setlocale(LC_ALL, m_previous.c_str()); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    std::string m_previous;
};

}  // namespace ostravex::testing
