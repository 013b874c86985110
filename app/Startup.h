// Bringing the program up and down in its fixed order. The program's entry runs InitializeUnits
// before the application object exists, then InstallPlatformHooks and CreateForms, runs the
// event loop, and ends with DestroyForms; tests run the same steps.
#pragma once

// The units' own start-up work, in their order: the high-resolution counter is checked (a
// machine without one stops the start with "Can not query performance frequency"), the
// temporary-file service is made (it deletes what an earlier run left), and the extra picture
// formats are registered. Raises when the program cannot run.
void InitializeUnits();

// The Qt side of the lower layers' hooks: the hourglass, letting the window system catch up
// during long work, and the two preset editors.
void InstallPlatformHooks();

// The application's title.
inline constexpr const char* ApplicationTitle = "Quorvelle PS";

// Creates each module and form once, in this order: the embedded pictures, the command module,
// the main window, the render-at-resolution dialog, the resample dialog, the help window and the
// About box. The main window is not shown.
void CreateForms();

// Destroys them in the reverse order.
void DestroyForms();
