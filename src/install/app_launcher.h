#pragma once

// Starts the setup program and waits for its exit code. (Being built.)
class AppLauncher {};
