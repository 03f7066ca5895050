#pragma once

#include "platform/sockets.h"

#include <map>

class CMsgSocket;

// Every open socket handle and its object; it owns none of them.
std::map<qxplat::SockHandle, CMsgSocket*>& SockRegistry();
