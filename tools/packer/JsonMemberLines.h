#pragma once
// Where the members of a settings document's top-level object are written, for messages that
// send the publisher to the right line. The settings reader itself keeps no positions.
// Portable.

#include <cstddef>
#include <string>
#include <vector>

// Returns the line (from 1) of each member of the top-level object of `text`, in document
// order, following the same lenient syntax as the settings reader (quoted and bare names,
// comments, trailing commas). Returns an empty list when `text` does not start with an
// object. Lines are counted at LF.
std::vector<std::size_t> TopLevelMemberLines(const std::wstring& text);
