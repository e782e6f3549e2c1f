#pragma once
// The largest picture the installer's window takes, in pixels on either side: larger ones
// are refused when the window is made (start-up then ends), and so by the packer already.

constexpr unsigned kMaxPictureSide = 16384;
