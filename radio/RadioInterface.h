#pragma once

#include "RilSubscriber.h"

// Network id delivered when the operator's numeric name is missing or not five characters.
extern const wchar_t* const NO_NETWORK_ID;

// The process's one connection to the radio layer (ril.dll). Called on the window thread;
// results reach the subscribers on the radio layer's own thread.
namespace RadioInterface {

// Opens the radio layer if needed and sends the start request; false when opening failed.
bool Initialize();
// Sends the stop request and closes the radio layer.
void Deinitialize();
// One polling cycle: operator, equipment state, signal quality, serving cell.
void Refresh();

// The list may change only while the radio layer is closed. Subscribers are not owned.
void AddSubscriber(RilSubscriber* subscriber);
void RemoveAllSubscribers();

// Polling interval in seconds; values below 1 are ignored.
int GetCheckInterval();
void SetCheckInterval(int seconds);

} // namespace RadioInterface
