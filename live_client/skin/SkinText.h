#pragma once

// The system's 8-bit text (code page 936) where it meets Qt. Texts stay 8-bit everywhere else.

#include <QString>
#include <string>
#include <string_view>

QString FromSystemText(std::string_view text);
std::string ToSystemText(const QString& text);
