#include "OpenDialogs.h"

#include "MidiFileSaveDialog.h"

OpenDialogs::OpenDialogs() = default;
OpenDialogs::~OpenDialogs() = default;

MidiFileSaveDialog& OpenDialogs::keepOpen(std::unique_ptr<MidiFileSaveDialog> dialog)
{
    return *dialogs.emplace_back(std::move(dialog));
}

void OpenDialogs::letGo(const MidiFileSaveDialog& dialog)
{
    std::erase_if(dialogs, [&](const auto& kept) { return kept.get() == &dialog; });
}
