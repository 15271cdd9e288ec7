// Reading a socket option in the tests.
#pragma once

#include <winsock2.h>

#include "netlayer.h"

// A boolean option may come back in a single byte (Wine, older Windows).
inline int socketOption(LONG socket, int level, int name)
{
    int value = 0;
    int length = sizeof(value);
    getsockopt(AsSocket(socket), level, name, reinterpret_cast<char*>(&value), &length);
    return length == 1 ? (value & 0xff) : value;
}
