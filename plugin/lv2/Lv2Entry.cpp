// The LV2 entry points of the bundle: the plug-in (lv2_descriptor) and its window
// (lv2ui_descriptor), both in this one binary, so that the window reaches its plug-in instance
// through instance-access.

#include "Lv2Plugin.h"
#include "Lv2Ui.h"

#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <exception>

namespace {

const void* featureData(const LV2_Feature* const* features, const char* uri)
{
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, uri) == 0)
            return (*features)->data;
    return nullptr;
}

Lv2Plugin& pluginOf(LV2_Handle h) { return *static_cast<Lv2Plugin*>(h); }

// --- the plug-in ---------------------------------------------------------------------------

LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features)
{
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    if (map == nullptr || !(sampleRate > 0.0))
        return nullptr;
    try {
        return new Lv2Plugin(sampleRate, *map);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void connectPort(LV2_Handle h, std::uint32_t port, void* data) { pluginOf(h).connectPort(port, data); }

void activate(LV2_Handle h) { pluginOf(h).activate(); }

// Render thread.
void run(LV2_Handle h, std::uint32_t frames) { pluginOf(h).run(frames); }

void cleanup(LV2_Handle h) { delete &pluginOf(h); }

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, std::uint32_t,
                      const LV2_Feature* const*)
{
    try {
        return pluginOf(h).save(store, handle);
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, std::uint32_t,
                         const LV2_Feature* const*)
{
    try {
        return pluginOf(h).restore(retrieve, handle);
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* extensionData(const char* uri)
{
    static const LV2_State_Interface state{save, restore};
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor pluginDescriptor{Lv2Uris::pluginUri, instantiate, connectPort, activate, run, nullptr, cleanup,
                                      extensionData};

// --- the window ----------------------------------------------------------------------------

Lv2Ui& uiOf(LV2UI_Handle h) { return *static_cast<Lv2Ui*>(h); }

LV2UI_Handle instantiateUi(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                           LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    auto* plugin = static_cast<Lv2Plugin*>(const_cast<void*>(featureData(features, LV2_INSTANCE_ACCESS_URI)));
    const void* parent = featureData(features, LV2_UI__parent);
    if (plugin == nullptr || parent == nullptr || write == nullptr)
        return nullptr;
    try {
        auto* ui = new Lv2Ui(*plugin, reinterpret_cast<std::uintptr_t>(parent),
                             static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)), write,
                             controller);
        *widget = reinterpret_cast<LV2UI_Widget>(ui->window());
        return ui;
    } catch (const std::exception&) {
        return nullptr;
    }
}

void cleanupUi(LV2UI_Handle h) { delete &uiOf(h); }

void portEvent(LV2UI_Handle h, std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer)
{
    uiOf(h).portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle h) { return uiOf(h).idle(); }

int resizeUi(LV2UI_Feature_Handle h, int width, int height) { return uiOf(h).resizeTo(width, height); }

const void* uiExtensionData(const char* uri)
{
    static const LV2UI_Idle_Interface idleInterface{idle};
    static const LV2UI_Resize resizeInterface{nullptr, resizeUi};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &idleInterface;
    if (std::strcmp(uri, LV2_UI__resize) == 0)
        return &resizeInterface;
    return nullptr;
}

const LV2UI_Descriptor uiDescriptor{Lv2Uris::uiUri, instantiateUi, cleanupUi, portEvent, uiExtensionData};

}  // namespace

extern "C" {

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &pluginDescriptor : nullptr;
}

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index)
{
    return index == 0 ? &uiDescriptor : nullptr;
}

}  // extern "C"
