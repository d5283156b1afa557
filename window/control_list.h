#pragma once

// Refills ControlList with the maker's ProgIDs as the removal finds them (ForEachInstalledControl);
// returns the number of names added.
int QueryInstalledControls();
