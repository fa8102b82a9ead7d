#pragma once

// The framework's version symbols, as the application and the support text read them.
inline constexpr double QuendelKitVersionNumber = 1.0;
inline constexpr const char QuendelKitVersionString[] = "1.0";
