#include "install/WebSet.h"

#include "settings/JsonReader.h"

std::wstring WebSetLine(const std::wstring& userName, const std::wstring& password) {
    return L"{\"username\":\t" + JsonQuote(userName) + L",\"password\":\t" + JsonQuote(password) +
           L"}";
}
