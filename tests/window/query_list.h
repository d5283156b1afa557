// The query as the window shows it, on the calling thread, for the cases and benchmarks that
// wait for it: ControlList refilled with the maker's ProgIDs; returns how many were found.
#pragma once

int QueryInstalledControls();
