// The controller's settings documents, kept as JSON files under the project
// folder: the document "/settings/common" is the file settings/common.json.
//
// Everything that reaches a file name from outside goes through checkName(), and
// every write is atomic (temporary file, then rename), so neither a hostile name
// nor an interrupted write can touch anything outside the folder or leave half
// a document behind. Files are opened relative to the open project folder, one
// folder at a time and without following links, so that a link swapped in
// between the check and the write cannot lead outside either.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace varlosim {

class DocumentStore
{
public:
    // Largest document the file service accepts.
    static constexpr std::size_t kMaxDocumentBytes = 4u * 1024u * 1024u;

    enum class Status {
        Ok,
        BadName,        // characters or form that no document name has
        OutsideFolder,  // the name leads out of the project folder
        NotJson,        // the body is not a JSON object or array
        TooLarge,
        KindMismatch,   // an object would replace an array document or the reverse
        TooDeep,        // nested deeper than kMaxNesting
        IoError,
        Damaged,        // stored, but not readable as a JSON document
    };

    explicit DocumentStore(const std::filesystem::path &projectFolder);
    ~DocumentStore();
    DocumentStore(const DocumentStore &) = delete;
    DocumentStore &operator=(const DocumentStore &) = delete;

    // Creates the project folder when needed. False with a reason on failure.
    bool prepare(std::string &error);
    const std::filesystem::path &folder() const { return m_folder; }

    // Checks a file name relative to the project folder, such as
    // "settings/common.json", and gives the file's full path.
    Status checkName(const std::string &name, std::filesystem::path *fullPath) const;

    // File service: the document text, "{}" when the document is missing, or
    // Damaged when it is there but cannot be read as JSON.
    Status readFile(const std::string &name, std::string &body) const;
    // File service: stores a body that must be a JSON object or array.
    Status writeFile(const std::string &name, const std::string &body);

    // Documents by their controller name, "/settings/common". A missing or
    // unreadable document gives nullopt.
    std::optional<nlohmann::json> read(const std::string &document) const;
    bool exists(const std::string &document) const;
    Status write(const std::string &document, const nlohmann::json &value);

    // For tests: called with the file name of every write after its name was
    // checked and before any folder is opened, the moment a local user could
    // swap a folder for a link; tests swap one just there.
    std::function<void(const std::string &name)> beforeOpeningFolders;

    // "/settings/common" -> "settings/common.json"; empty when the path cannot
    // name a document.
    static std::string fileNameOf(const std::string &document);
    static const char *describe(Status status);

private:
    Status storeAtomically(const std::string &name, const std::string &text);
    // The folder holding `name` and its last segment; -1 when it is missing
    // (and not `create`d) or reached only through a link.
    int openParent(const std::string &name, bool create, std::string &leaf) const;
    // What stands at a file name: nothing, a regular file, or anything else
    // (a folder, a link, what cannot be looked at).
    enum class Entry { None, File, Other };
    Entry entryAt(const std::string &name) const;
    // The text of a regular file; false when it is missing, a link or unreadable.
    bool readText(const std::string &name, std::string &text) const;

    std::filesystem::path m_folder;       // as given (absolute)
    std::filesystem::path m_canonical;    // resolved once the folder exists
    int m_folderFd = -1;
    std::mutex m_writeLock;
    unsigned long m_tempCounter = 0;
};

} // namespace varlosim
