#pragma once

// The system's 8-bit text (code page 936) where it meets Qt. Texts stay 8-bit everywhere
// else: language files, configuration and recorder names are stored and compared as they are.

#include <QString>
#include <string>
#include <string_view>

QString FromSystemText(std::string_view text);
std::string ToSystemText(const QString& text);
