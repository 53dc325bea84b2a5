#pragma once
// The tool-bar pictures, 32 x 32, with 64 x 64 forms for screens scaled to twice the pixels;
// drawn when the program is built (RenderedPictures.h).

#include <QIcon>
#include <QString>
#include <vector>

class TImageList {
public:
    enum Index {
        imgOpenFile = 0,   // an open folder
        imgExit = 1,       // a door with an arrow
        imgProgram = 2,    // an arrow into a chip
        imgPortOpen = 3,   // a plug in its socket
        imgPortClosed = 4, // a plug apart from its socket
        imgErase = 5,      // a chip with a tick
        imgClearLog = 6,   // a blank page
    };
    static constexpr int Width = 32;
    static constexpr int Height = 32;

    TImageList();
    int Count() const { return int(m_icons.size()); }
    QIcon Icon(int index) const; // a null icon for an index out of range

    // The program's own icon, for windows and the desktop entry.
    static QIcon ApplicationIcon();

private:
    std::vector<QIcon> m_icons;
};
