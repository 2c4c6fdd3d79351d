#pragma once

#include <QString>

#include <cstdint>

namespace dawdlex {

// What the Options window's Apply needs of the main window, so that OptionsWindow does not depend on
// ProgressWindow. The main window implements it; tests give OptionsWindow a recording fake.
class MainWindowLink
{
public:
    virtual ~MainWindowLink() = default;

    // The current phase of the progress run, 0 to 4; read, never changed.
    virtual std::int32_t currentPhase() const = 0;

    virtual void setStatusCaption(const QString& text) = 0;
    virtual void setTimerInterval(std::int32_t milliseconds) = 0;
    virtual void setWindowCaption(const QString& text) = 0;
    virtual void setButtonCaption(const QString& text) = 0;
    virtual void setSecondBarVisible(bool visible) = 0;

    // Shows built-in picture `index` (0 to 6).
    virtual void showBuiltInIcon(int index) = 0;

    // Shows the picture in the file at `path`. Returns false, leaving the picture shown before, when the
    // file cannot be read as a picture.
    virtual bool showIconFile(const QString& path) = 0;
};

} // namespace dawdlex
