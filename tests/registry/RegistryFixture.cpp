#include "RegistryFixture.h"

#include <windows.h>

#include <cstdlib>

const std::string RegistryFixture::baseSubKey = "Software\\DawdlexRegistryTest";
const std::string RegistryFixture::base = "HKEY_CURRENT_USER\\" + baseSubKey;

std::vector<uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

void RegistryFixture::setEnvironment(const std::string& name, const std::string& value)
{
#ifdef _WIN32
    SetEnvironmentVariableA(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}
