#include "backgrounds/crop_geometry.h"

#include <algorithm>

namespace ostravex {

WindowSize CropWindowSize(int pictureWidth, int pictureHeight) {
    int width = pictureWidth + 30;
    int height = pictureHeight + 70;
    height = std::max(height, 200);
    width = std::max(width, 430);
    width = std::min(width, 1000);
    height = std::min(height, 740);
    return {width, height};
}

CropRect NormalizedCrop(CropRect corners, int pictureWidth, int pictureHeight) {
    CropRect rect{std::min(corners.left, corners.right), std::min(corners.top, corners.bottom),
                  std::max(corners.left, corners.right), std::max(corners.top, corners.bottom)};
    rect.left = std::clamp(rect.left, 0, pictureWidth);
    rect.right = std::clamp(rect.right, 0, pictureWidth);
    rect.top = std::clamp(rect.top, 0, pictureHeight);
    rect.bottom = std::clamp(rect.bottom, 0, pictureHeight);
    return rect;
}

bool IsEmptyCrop(const CropRect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

}  // namespace ostravex
