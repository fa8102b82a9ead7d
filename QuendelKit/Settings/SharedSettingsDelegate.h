#pragma once

#include "platform/core/QDError.h"

#include <optional>

// Adopted by the application delegate and handed to the settings object before it starts up.
class SharedSettingsDelegate
{
public:
    virtual ~SharedSettingsDelegate() = default;

    // Optional: whether the application runs in the background. No answer (the default) counts as the
    // background state, in which the device registry leaves the keychain alone.
    virtual std::optional<bool> isApplicationBackgroundState() { return std::nullopt; }
    // Optional: an error the settings object wants shown. False: not implemented.
    virtual bool showErrorFromSharedSettings(const platform::core::QDError &error) { return false; }
};
