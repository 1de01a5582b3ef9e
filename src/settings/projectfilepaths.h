#ifndef PROJECTFILEPATHS_H
#define PROJECTFILEPATHS_H

#include <QtCore/QString>

// Turning the file paths that host programs hold (files of the controller's
// project folder, e.g. "//192.168.1.6/project/project/demo/points.json") into
// the controller's document names.
namespace ProjectFilePaths {

struct Document {
    QString name;   // document name, e.g. "/project/demo/points"
    QString file;   // the file below the marker folder, e.g. "demo/points.json"
};

// The document of a points file: "/project" followed by what comes after
// "/project/project", without the ".json" ending. False when the path has no
// "/project/project/" or the result would leave the project folder.
bool pointsDocument(const QString &filePath, Document *document);

// The same for a file of the process folder ("/project/process/" → "/process").
bool processDocument(const QString &filePath, Document *document);

// "/process/pallet/<name>" for a pallet's point list; false for an empty name
// or one that would leave the folder.
bool palletPointsDocument(const QString &palletName, QString *documentName);

} // namespace ProjectFilePaths

#endif // PROJECTFILEPATHS_H
