#pragma once

namespace ostravex::app {

// Names the program and gives it its icon. No display name is set: the window system
// would append it to every window's title.
void SetUpApplication();

}  // namespace ostravex::app
