#include "DataFile.h"
#include "Exception.h"
#include "Win32Errno.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The Windows side of DataFile: the same contract as on Linux, with Win32
// calls. A write goes to a temporary file in the target's folder, is flushed
// to disk and then takes the target's place with ReplaceFileW, which keeps the
// target's attributes and security descriptor, or with MoveFileExW when there
// is no target yet. Should the program die half way, the target is whole
// (either the old or the new content) and at most a temporary file is left.
namespace DataFile {

namespace {

class HandleCloser
{
public:
    explicit HandleCloser(HANDLE handle) : m_handle(handle) {}
    ~HandleCloser() { close(); }
    HandleCloser(const HandleCloser &) = delete;
    HandleCloser &operator=(const HandleCloser &) = delete;
    HANDLE get() const { return m_handle; }
    bool isValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE release()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle;
    }
    bool close()
    {
        const bool closed = !isValid() || CloseHandle(m_handle) != FALSE;
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE m_handle;
};

[[noreturn]] void fail(DWORD error, const QString &path)
{
    throw EInOutError::fromErrno(Win32Errno::fromWin32Error(error), path);
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens an existing file for `access`. Only a file on a disk is accepted: a
// folder, a console, a pipe or a device name such as COM1 or NUL is refused
// with "File access denied" (a folder is refused by CreateFileW itself).
HANDLE openRegular(const QString &path, DWORD access)
{
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), access, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        fail(GetLastError(), path);
    HandleCloser closer(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw EInOutError::notRegularFile();
    return closer.release();
}

bool writeAll(HANDLE handle, const QByteArray &data)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const DWORD chunk = DWORD(std::min<qsizetype>(data.size() - written, 1 << 30));
        DWORD done = 0;
        if (!WriteFile(handle, data.constData() + written, chunk, &done, nullptr))
            return false;
        if (done == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        written += done;
    }
    return true;
}

// A symbolic link is followed, so that its target is replaced and the link kept.
QString resolveLinks(const QString &path)
{
    const QFileInfo info(path);
    // A shortcut (.lnk) is a file of its own here, not a link.
    if (!info.isSymbolicLink())
        return QDir::cleanPath(info.absoluteFilePath());
    const QString target = info.symLinkTarget();
    return target.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : target;
}

// Checks an existing target as a write to it would find it and returns its
// attributes, or INVALID_FILE_ATTRIBUTES when there is none yet. A read-only
// file, a file the user may not write or one locked by another program raises
// "File access denied" before anything changes.
DWORD checkExistingTarget(const QString &target)
{
    const DWORD attributes = GetFileAttributesW(nativePath(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return INVALID_FILE_ATTRIBUTES;
        fail(error, target);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw EInOutError::notRegularFile();
    if (attributes & FILE_ATTRIBUTE_READONLY)
        fail(ERROR_ACCESS_DENIED, target);
    HandleCloser probe(openRegular(target, GENERIC_WRITE));
    return attributes;
}

// ReplaceFileW gives the new file the attributes of the old one on Windows;
// Wine's does not, so the visible ones are carried over where they are lost.
void keepAttributes(const QString &target, DWORD previous)
{
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD now = GetFileAttributesW(nativePath(target).c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kept) != (previous & kept))
        SetFileAttributesW(nativePath(target).c_str(), (now & ~kept) | (previous & kept));
}

// A new file beside the target whose name no other file has. Shared with no
// one while it is written.
HANDLE createTemporary(const QString &target, QString &tempName)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.' +
                   QString::number(QRandomGenerator::global()->generate(), 36);
        const HANDLE handle = CreateFileW(nativePath(tempName).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return handle;
    }
    return INVALID_HANDLE_VALUE;
}

// Puts the finished temporary file in the target's place; the Win32 error, or
// ERROR_SUCCESS. Should ReplaceFileW have removed the target but not renamed
// the new file (ERROR_UNABLE_TO_MOVE_REPLACEMENT), the move is tried once more
// so the data are not lost.
DWORD moveIntoPlace(const std::wstring &temp, const std::wstring &target, bool replacing)
{
    const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!replacing)
        return MoveFileExW(temp.c_str(), target.c_str(), moveFlags) ? ERROR_SUCCESS
                                                                    : GetLastError();
    if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
        MoveFileExW(temp.c_str(), target.c_str(), moveFlags))
        return ERROR_SUCCESS;
    return error;
}

// Rewrites an existing file in place, for a folder that takes no new file.
void writeInPlace(const QString &target, const QByteArray &data)
{
    HandleCloser file(openRegular(target, GENERIC_WRITE));
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) || !writeAll(file.get(), data) ||
        !SetEndOfFile(file.get()) || !FlushFileBuffers(file.get()))
        fail(GetLastError(), target);
}

} // namespace

int openForReading(const QString &path, qint64 maxSize)
{
    HandleCloser file(openRegular(path, GENERIC_READ));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        fail(GetLastError(), path);
    if (maxSize >= 0 && size.QuadPart > maxSize)
        throw EInOutError::tooLarge(path, maxSize);
    const int fd = _open_osfhandle(intptr_t(file.get()), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        fail(ERROR_TOO_MANY_OPEN_FILES, path);
    file.release();
    return fd;
}

void writeAtomically(const QString &path, const QByteArray &data)
{
    const QString target = resolveLinks(path);
    const DWORD previousAttributes = checkExistingTarget(target);
    const bool replacing = previousAttributes != INVALID_FILE_ATTRIBUTES;
    QString tempName;
    HandleCloser temp(createTemporary(target, tempName));
    if (!temp.isValid()) {
        const DWORD error = GetLastError();
        // The folder takes no new file, but the file itself may be writable.
        if (replacing && error == ERROR_ACCESS_DENIED)
            return writeInPlace(target, data);
        fail(error, target);
    }
    DWORD error = ERROR_SUCCESS;
    if (!writeAll(temp.get(), data) || !FlushFileBuffers(temp.get()))
        error = GetLastError();
    if (!temp.close() && error == ERROR_SUCCESS)
        error = GetLastError();
    if (error == ERROR_SUCCESS)
        error = moveIntoPlace(nativePath(tempName), nativePath(target), replacing);
    if (error == ERROR_SUCCESS) {
        if (replacing)
            keepAttributes(target, previousAttributes);
        return;
    }
    // Only when the target is gone does the temporary file hold the sole copy.
    if (!replacing || QFileInfo::exists(target))
        DeleteFileW(nativePath(tempName).c_str());
    fail(error, target);
}

} // namespace DataFile
