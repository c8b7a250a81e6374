#pragma once

#include <QString>

#include <optional>

// `name` as a host name in ASCII, lower-cased: letters, digits and inner hyphens in labels of 1 to
// 63 characters, at least two labels, the last not all digits, 253 characters in all. A name in
// another script counts when its ACE form (xn--) is such a name. Nothing else may go into an
// address: a slash or a dot-dot in a typed name would otherwise reach the path.
std::optional<QString> asciiHostName(const QString &name);
