#pragma once

#include <QString>

// The operating system's text for an error number, as the error messages show it.
namespace OsError {
QString text(int code);
} // namespace OsError
