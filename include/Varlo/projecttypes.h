#ifndef PROJECTTYPES_H
#define PROJECTTYPES_H

#include <QtCore/QtGlobal>

#include <type_traits>

// Records of a project's taught points and of the palletizing processes, in
// the fixed layouts that host programs copy byte for byte. The tables are
// large (a TeachPointTable is about 90 KB, ten TeachPalletDef about 4.6 MB):
// allocate them on the heap.

// One taught point. Its name on the controller is "P" followed by `index`.
struct TeachPoint {
    qint32 index;            // the point's number
    char alias[20];          // UTF-8, NUL-terminated
    qint32 armOrientation;   // 0 left hand, anything else right hand (4-axis arms)
    // Tool and user frame indexes of the coordinates.
    qint32 tool;
    qint32 user;
    float coordinate[6];     // x, y, z, a, b, c
    qint32 rdn[4];           // r, d, n, cfg (6-axis arms)
    qint32 load;             // payload index
    float auxJoint[3];       // the auxiliary axes
};

// Points of a TeachPointTable.
enum : int { TeachPointCount = 999 };

// The points file of a project. A point whose index, armOrientation, tool,
// user, coordinate and rdn are all zero is empty; a written table ends at its
// first empty point.
struct TeachPointTable {
    TeachPoint point[TeachPointCount]; // in the file's order
};

// Pallets of a project, and layouts of a taught pallet.
enum : int { PalletCount = 10, PalletLayoutCount = 5 };

// A pallet of the palletizing process. A pallet whose three counts are zero
// ends the table when written.
struct PalletDef {
    quint8 id;               // the pallet's number
    quint8 userCoord;        // the user frame it lies in
    char name[22];           // UTF-8, NUL-terminated
    qint32 direction;        // the order it is filled in, the controller's code
    quint8 count[3];         // x, y, z
    float distance[3];       // x, y, z
    float firstPoint[6];     // x ... c
    float safePoint[6];      // x ... c
    bool autoSafePoint;      // "auto" inside "safePoint"
    float preparePoint[6];   // x ... c
};

// A taught pallet: up to five layouts of taught positions (only the six
// coordinate values of a layout point are kept by the controller). A record
// whose name is empty ends the table when written.
struct TeachPalletDef {
    quint8 id;               // the pallet's number
    quint8 userCoord;        // the user frame it lies in
    // The layer cycle and layer count, as the controller reads them.
    quint8 circleLayer;
    quint8 countLayer;
    char name[56];           // UTF-8, NUL-terminated
    float transPoint[6];     // x ... c
    qint32 layoutSeq[PalletLayoutCount]; // the order of the layouts, layer by layer
    float layerHigh[PalletLayoutCount];  // each layout's layer height
    bool autoMode;           // "auto"
    TeachPointTable layouts[PalletLayoutCount]; // each layout's taught positions
};

static_assert(sizeof(TeachPoint) == 92, "TeachPoint layout");
static_assert(std::is_trivially_copyable<TeachPoint>::value && std::is_standard_layout<TeachPoint>::value,
              "TeachPoint is a plain record");
static_assert(std::is_trivially_copyable<PalletDef>::value && std::is_standard_layout<PalletDef>::value,
              "PalletDef is a plain record");
static_assert(std::is_trivially_copyable<TeachPalletDef>::value, "TeachPalletDef is a plain record");

#endif // PROJECTTYPES_H
