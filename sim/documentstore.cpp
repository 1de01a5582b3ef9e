#include "documentstore.h"

#include "log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
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

bool readWholeFile(const fs::path &file, std::string &text)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return false;
    text = buffer.str();
    return true;
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
    return true;
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
    fs::path file;
    const Status status = checkName(name, &file);
    if (status != Status::Ok)
        return status;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        body = "{}";
        return Status::Ok;
    }
    std::string text;
    if (!readWholeFile(file, text))
        return Status::IoError;
    // A document damaged by hand reads as missing rather than as garbage.
    if (!json::accept(text)) {
        logWarning("document " + name + " is not valid JSON; answering {}");
        body = "{}";
        return Status::Ok;
    }
    body = std::move(text);
    return Status::Ok;
}

DocumentStore::Status DocumentStore::writeFile(const std::string &name, const std::string &body)
{
    fs::path file;
    const Status status = checkName(name, &file);
    if (status != Status::Ok)
        return status;
    if (body.size() > kMaxDocumentBytes)
        return Status::TooLarge;
    json value = json::parse(body, nullptr, false);
    if (value.is_discarded() || !(value.is_object() || value.is_array()))
        return Status::NotJson;

    // Documents are either objects or arrays (the tables) for good; an object
    // arriving for a table is a broken writer, and storing it would lose the table.
    std::string existing;
    if (readWholeFile(file, existing)) {
        const json old = json::parse(existing, nullptr, false);
        if (!old.is_discarded() && (old.is_object() || old.is_array()) && old.type() != value.type())
            return Status::KindMismatch;
    }
    return storeAtomically(file, value.dump(4) + "\n");
}

std::optional<json> DocumentStore::read(const std::string &document) const
{
    const std::string name = fileNameOf(document);
    fs::path file;
    if (name.empty() || checkName(name, &file) != Status::Ok)
        return std::nullopt;
    std::string text;
    if (!readWholeFile(file, text))
        return std::nullopt;
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

bool DocumentStore::exists(const std::string &document) const
{
    const std::string name = fileNameOf(document);
    fs::path file;
    std::error_code ec;
    return !name.empty() && checkName(name, &file) == Status::Ok && fs::is_regular_file(file, ec);
}

DocumentStore::Status DocumentStore::write(const std::string &document, const json &value)
{
    const std::string name = fileNameOf(document);
    fs::path file;
    if (name.empty())
        return Status::BadName;
    const Status status = checkName(name, &file);
    if (status != Status::Ok)
        return status;
    return storeAtomically(file, value.dump(4) + "\n");
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
    case Status::IoError: return "cannot store the document";
    }
    return "error";
}

DocumentStore::Status DocumentStore::storeAtomically(const fs::path &file, const std::string &text)
{
    std::lock_guard<std::mutex> guard(m_writeLock);
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec) {
        logWarning("cannot create " + file.parent_path().string() + ": " + ec.message());
        return Status::IoError;
    }
    const fs::path temp = file.parent_path()
        / ("." + file.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-"
           + std::to_string(++m_tempCounter));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        logWarning("cannot create " + temp.string() + ": " + std::strerror(errno));
        return Status::IoError;
    }
    const bool written = writeAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), file.c_str()) != 0) {
        logWarning("cannot store " + file.string() + ": " + std::strerror(errno));
        ::unlink(temp.c_str());
        return Status::IoError;
    }
    return Status::Ok;
}

} // namespace varlosim
