// How a new port's "AddPort" request is made (see newport.h).
#include "newport.h"

#include <cwchar>

namespace lanportui {

void MakePortName(LPCWSTR address, LPCWSTR givenName, LPWSTR name)
{
    if (givenName[0] && wcsncmp(givenName, kPortPrefix, wcslen(kPortPrefix)) != 0) {
        if (name != givenName) wcscpy(name, givenName);
        return;
    }
    wcscpy(name, kPortPrefix);
    wcscat(name, address);
}

BOOL HasForbiddenNameChar(LPCWSTR name)
{
    return wcspbrk(name, kForbiddenNameChars) != nullptr;
}

}  // namespace lanportui
