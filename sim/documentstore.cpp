#include "documentstore.h"

#include "jsonfields.h"
#include "log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace varlosim {

namespace {

constexpr std::size_t kMaxNameLength = 255;
constexpr int kMaxDepth = 8;

bool allowedCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || c == '_' || c == '-' || c == '.' || c == '/';
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// True when path lies inside folder (both already resolved).
bool isInside(const fs::path &path, const fs::path &folder)
{
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (p == path.end() || *p != *f)
            return false;
    }
    return p != path.end();
}

// Largest file the store reads: documents are written from bodies of at most
// kMaxDocumentBytes, indented.
constexpr off_t kMaxFileBytes = 64 * 1024 * 1024;

// Spaces that dump(4) adds to a value nested at `depth`.
std::size_t indentation(const json &value, std::size_t depth)
{
    if (!value.is_structured())
        return 0;
    std::size_t spaces = 4 * depth * value.size() + 4 * (depth - 1);
    for (const json &element : value)
        spaces += indentation(element, depth + 1);
    return spaces;
}

// A document as it is stored: indented, as the controller writes it, unless
// the indentation would outweigh the content (long tables of small values
// nested deep); those are stored compact, so the file stays proportional to
// the body.
std::string storedText(const json &value)
{
    std::string compact = value.dump();
    if (indentation(value, 1) > 4 * compact.size() + 64 * 1024)
        return compact + "\n";
    return value.dump(4) + "\n";
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

DocumentStore::DocumentStore(const fs::path &projectFolder)
    : m_folder(fs::absolute(projectFolder).lexically_normal())
{
}

DocumentStore::~DocumentStore()
{
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

bool DocumentStore::prepare(std::string &error)
{
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    if (ec || !fs::is_directory(m_folder)) {
        error = "cannot create the project folder " + m_folder.string()
              + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    m_canonical = fs::canonical(m_folder, ec);
    if (ec) {
        error = "cannot resolve the project folder " + m_folder.string() + ": " + ec.message();
        return false;
    }
    m_folderFd = ::open(m_canonical.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0) {
        error = "cannot open the project folder " + m_folder.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int DocumentStore::openParent(const std::string &name, bool create, std::string &leaf) const
{
    int dir = ::dup(m_folderFd);
    std::size_t start = 0;
    for (std::size_t slash = name.find('/'); dir >= 0 && slash != std::string::npos; slash = name.find('/', start)) {
        const std::string segment = name.substr(start, slash - start);
        start = slash + 1;
        if (create && ::mkdirat(dir, segment.c_str(), 0755) != 0 && errno != EEXIST) {
            ::close(dir);
            return -1;
        }
        const int next = ::openat(dir, segment.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;   // why it failed, for entryAt()
        ::close(dir);
        errno = error;
        dir = next;
    }
    leaf = name.substr(start);
    return dir;
}

bool DocumentStore::readText(const std::string &name, std::string &text) const
{
    std::string leaf;
    const int dir = openParent(name, false, leaf);
    if (dir < 0)
        return false;
    const int fd = ::openat(dir, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    ::close(dir);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileBytes;
    text.clear();
    if (ok)
        text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::read(fd, &text[done], text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    ::close(fd);
    return ok;
}

DocumentStore::Status DocumentStore::checkName(const std::string &name, fs::path *fullPath) const
{
    if (name.empty() || name.size() > kMaxNameLength)
        return Status::BadName;
    for (char c : name) {
        if (!allowedCharacter(c))
            return Status::BadName;   // also NUL, backslash, colon, blanks
    }
    if (name.front() == '/')
        return Status::OutsideFolder; // absolute path
    int depth = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string segment = name.substr(start, end - start);
        if (segment == "..")
            return Status::OutsideFolder;
        // Empty and "." segments have no business in a document name; names
        // starting with a dot are kept for the store's temporary files.
        if (segment.empty() || segment.front() == '.')
            return Status::BadName;
        if (++depth > kMaxDepth)
            return Status::BadName;
        start = end + 1;
    }
    if (!endsWith(name, ".json") || name.size() <= 5 || endsWith(name, "/.json"))
        return Status::BadName;

    // The rules above keep the name inside the folder by its text; resolving it
    // also catches a link inside the folder that points elsewhere.
    const fs::path full = m_folder / fs::path(name);
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(full, ec);
    if (ec || !isInside(resolved, m_canonical.empty() ? m_folder : m_canonical))
        return Status::OutsideFolder;
    if (fullPath)
        *fullPath = full;
    return Status::Ok;
}

DocumentStore::Status DocumentStore::readFile(const std::string &name, std::string &body) const
{
    const Status status = checkName(name, nullptr);
    if (status != Status::Ok)
        return status;
    std::string text;
    // Only a document that is not there reads as {} ("missing"): a client
    // may then write a fresh one. One that is there but cannot be handed out
    // (damaged by hand, too large, a link, unreadable) is an error, so that
    // no client's read-change-write replaces it and loses what it holds.
    if (!readText(name, text)) {
        if (entryAt(name) == Entry::None) {
            body = "{}";
            return Status::Ok;
        }
        logWarning("document " + name + " cannot be read; answering an error");
        return Status::Damaged;
    }
    if (!json::accept(text)) {
        logWarning("document " + name + " is not valid JSON; answering an error");
        return Status::Damaged;
    }
    body = std::move(text);
    return Status::Ok;
}

DocumentStore::Status DocumentStore::writeFile(const std::string &name, const std::string &body)
{
    const Status status = checkName(name, nullptr);
    if (status != Status::Ok)
        return status;
    if (body.size() > kMaxDocumentBytes)
        return Status::TooLarge;
    if (nestingDepth(body) > kMaxNesting)
        return Status::TooDeep;
    json value = json::parse(body, nullptr, false);
    if (value.is_discarded() || !(value.is_object() || value.is_array()))
        return Status::NotJson;

    // Documents are either objects or arrays (the tables) for good; an object
    // arriving for a table is a broken writer, and storing it would lose the table.
    std::string existing;
    if (readText(name, existing)) {
        const json old = json::parse(existing, nullptr, false);
        if (!old.is_discarded() && (old.is_object() || old.is_array()) && old.type() != value.type())
            return Status::KindMismatch;
    }
    return storeAtomically(name, storedText(value));
}

std::optional<json> DocumentStore::read(const std::string &document) const
{
    const std::string name = fileNameOf(document);
    std::string text;
    if (name.empty() || checkName(name, nullptr) != Status::Ok || !readText(name, text))
        return std::nullopt;
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

bool DocumentStore::exists(const std::string &document) const
{
    const std::string name = fileNameOf(document);
    return !name.empty() && checkName(name, nullptr) == Status::Ok && entryAt(name) == Entry::File;
}

DocumentStore::Entry DocumentStore::entryAt(const std::string &name) const
{
    std::string leaf;
    const int dir = openParent(name, false, leaf);
    if (dir < 0)
        return errno == ENOENT ? Entry::None : Entry::Other;
    struct stat info {};
    const int found = ::fstatat(dir, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    const int error = errno;
    ::close(dir);
    if (found != 0)
        return error == ENOENT ? Entry::None : Entry::Other;
    return S_ISREG(info.st_mode) ? Entry::File : Entry::Other;
}

DocumentStore::Status DocumentStore::write(const std::string &document, const json &value)
{
    const std::string name = fileNameOf(document);
    if (name.empty())
        return Status::BadName;
    const Status status = checkName(name, nullptr);
    if (status != Status::Ok)
        return status;
    return storeAtomically(name, storedText(value));
}

std::string DocumentStore::fileNameOf(const std::string &document)
{
    if (document.size() < 2 || document.front() != '/')
        return {};
    return document.substr(1) + ".json";
}

const char *DocumentStore::describe(Status status)
{
    switch (status) {
    case Status::Ok: return "ok";
    case Status::BadName: return "invalid document name";
    case Status::OutsideFolder: return "document name leaves the project folder";
    case Status::NotJson: return "body is not a JSON object or array";
    case Status::TooLarge: return "document too large";
    case Status::KindMismatch: return "document kind mismatch (object versus array)";
    case Status::TooDeep: return "document nested too deeply";
    case Status::IoError: return "cannot store the document";
    case Status::Damaged: return "the stored document cannot be read or is not valid JSON";
    }
    return "error";
}

DocumentStore::Status DocumentStore::storeAtomically(const std::string &name, const std::string &text)
{
    std::lock_guard<std::mutex> guard(m_writeLock);
    if (beforeOpeningFolders)
        beforeOpeningFolders(name);
    std::string leaf;
    const int dir = openParent(name, true, leaf);
    if (dir < 0) {
        logWarning("cannot store " + name + ": its folder cannot be made or is a link");
        return Status::IoError;
    }
    const std::string temp = "." + leaf + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++m_tempCounter);
    const int fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        logWarning("cannot create a temporary file for " + name + ": " + std::strerror(errno));
        ::close(dir);
        return Status::IoError;
    }
    const bool written = writeAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    // renameat replaces a link at the name itself, never what it points to.
    const bool stored = written && closed && ::renameat(dir, temp.c_str(), dir, leaf.c_str()) == 0;
    if (!stored) {
        logWarning("cannot store " + name + ": " + std::strerror(errno));
        ::unlinkat(dir, temp.c_str(), 0);
    }
    ::close(dir);
    return stored ? Status::Ok : Status::IoError;
}

} // namespace varlosim
