#pragma once

#include <memory>
#include <vector>

class MidiFileSaveDialog;

/// Save dialogs that outlive the card they were opened from: each is kept until it is let go
/// (when it closes, or with its owner). Message thread.
class OpenDialogs {
public:
    OpenDialogs();
    ~OpenDialogs();

    MidiFileSaveDialog& keepOpen(std::unique_ptr<MidiFileSaveDialog> dialog);
    void letGo(const MidiFileSaveDialog& dialog);
    std::size_t count() const noexcept { return dialogs.size(); }

private:
    std::vector<std::unique_ptr<MidiFileSaveDialog>> dialogs;
};
