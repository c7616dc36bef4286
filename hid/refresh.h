// Keeping the open devices in step with what is plugged in.
#pragma once

// Owner thread: enumerates, closes and announces removed devices, releases
// those whose claim is gone, opens and announces arrivals, and merges them
// into the open list.
void IowKit2Refresh();
