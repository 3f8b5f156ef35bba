#pragma once

namespace ostravex {

// The crop wizard's window for a picture: its size plus room for the panel, kept between
// 430 × 200 and 1000 × 740.
struct WindowSize {
    int width;
    int height;
    bool operator==(const WindowSize&) const = default;
};
WindowSize CropWindowSize(int pictureWidth, int pictureHeight);

// A crop selection in picture pixels, right and bottom exclusive.
struct CropRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const CropRect&) const = default;
};
// The rectangle between two corners clicked in any order, kept inside the picture.
CropRect NormalizedCrop(CropRect corners, int pictureWidth, int pictureHeight);
bool IsEmptyCrop(const CropRect& rect);

}  // namespace ostravex
