/* Test support: a directory of the test's own under the temporary directory, removed with
 * everything in it when the object goes. Paths are UTF-8, with backslashes. */
#pragma once
#include <string>
#include <vector>

class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    /** The directory's full path, without trailing separator. */
    const std::string &path() const { return m_path; }
    /** The full path of @p name inside the directory. */
    std::string operator/(const std::string &name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

/** Removes a file or a directory tree; missing names are fine. Long paths are handled. */
void RemoveTree(const std::wstring &path);
/** Creates a file holding @p data (UTF-8 path). */
bool WriteWholeFile(const std::string &path, const std::string &data);
/** The contents of a file, or "<missing>". */
std::string ReadWholeFile(const std::string &path);
/** The names in a directory, "." and ".." aside (none when it cannot be listed). */
std::vector<std::string> DirEntries(const std::string &strDir);
/** Whether a file or directory exists (UTF-8 path). */
bool PathExists(const std::string &path);
/** Long-form ("\\?\") UTF-16 path of a full UTF-8 path. */
std::wstring LongForm(const std::string &path);
