#pragma once

// `make screenshots`: every window and view of the desktop program drawn offscreen to PNG files, from
// the demo project, so that the team and the users can see the program without a display. Each
// group of pictures is a scene function; add new ones to the list in ScreenshotsMain.cpp.

#include <QImage>
#include <QString>

#include <filesystem>

namespace lvshots {

struct Context {
    std::filesystem::path demoDir; // written by `lvtb demo`
    std::filesystem::path outDir;
};

// Writes image as outDir/name.png; false (and a message on stderr) when it cannot.
bool save(const Context& context, const QString& name, const QImage& image);

// The recording of the demo project that the pictures show (a CV unit), empty when there is none.
std::filesystem::path demoRecording(const Context& context);

// Scenes: each writes its pictures and returns false on a failure.
bool toolkitScene(const Context& context);
bool spectrogramScene(const Context& context);
bool mainWindowScene(const Context& context);
bool editorScene(const Context& context);
bool buildScene(const Context& context);

} // namespace lvshots
