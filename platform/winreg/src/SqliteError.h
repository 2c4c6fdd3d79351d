#pragma once

#include <stdexcept>

namespace dawdlex::winreg {

// A failed SQLite call, carrying its result code. Thrown inside this layer only: the API functions catch
// it and turn it into a status code, so it never reaches a caller.
class SqliteError : public std::runtime_error
{
public:
    SqliteError(int code, const char* message)
        : std::runtime_error(message ? message : "sqlite"), m_code(code)
    {}

    int code() const { return m_code; }

private:
    int m_code;
};

} // namespace dawdlex::winreg
