// The Windows program's entry: the main window and the message loop, on
// whichever drives the executable was built for.
#pragma once

namespace kestrel {

class AtaPlatform;
class Environment;

// Creates the main window from its template and runs the message loop
// until the window is destroyed. Returns the process's exit code.
int RunProgram(AtaPlatform* ata, Environment* env);

}  // namespace kestrel
