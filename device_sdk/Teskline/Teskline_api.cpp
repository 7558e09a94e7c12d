#include "device_sdk/Teskline/Teskline.h"

#include "device_sdk/Teskline/HoleTable.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

namespace {

// How many times each name has been asked, so that successive calls walk its lines.
// Guarded by g_lock.
std::map<std::string, size_t> g_calls;
std::mutex g_lock;

std::string TablePath()
{
    if (const char* path = std::getenv("TESKLINE_TABLE"); path && *path)
        return path;
    char exe[PATH_MAX] = {};
    ssize_t length = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string folder = length > 0 ? std::string(exe, static_cast<size_t>(length)) : "";
    auto slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    return folder + "/Teskline.tab";
}

bool ReadFile(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

template <typename T, typename Source>
void CopyEntries(T* target, const Source& source)
{
    for (size_t i = 0; i < source.size(); ++i)
        target[i] = source[i];
}

int MakeHole(const char* name, unsigned short* servicePorts, unsigned int* domainIps,
             unsigned short* clientPorts, unsigned short* dvrLocalPorts, void* further,
             unsigned short* clientNatPorts)
{
    if (!name || !servicePorts || !domainIps || !clientPorts || !dvrLocalPorts || !further ||
        !clientNatPorts)
        return TESK_RC_BAD_ARGUMENT;
    std::memset(further, 0, 80);

    std::string path = TablePath();
    std::string text;
    if (!ReadFile(path, text)) {
        std::fprintf(stderr, "[TESKLINE] - cannot read table %s\n", path.c_str());
        return TESK_RC_NO_TABLE;
    }
    std::vector<std::string> errors;
    teskline::HoleTable table = teskline::HoleTable::Parse(text, &errors);
    for (const std::string& error : errors)
        std::fprintf(stderr, "[TESKLINE] - %s: %s\n", path.c_str(), error.c_str());

    const std::vector<teskline::HoleAnswer>* answers = table.Find(name);
    if (!answers || answers->empty())
        return TESK_RC_UNKNOWN_NAME;
    size_t call = 0;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        call = g_calls[teskline::ToLower(name)]++;
    }
    const teskline::HoleAnswer& answer = (*answers)[std::min(call, answers->size() - 1)];
    CopyEntries(domainIps, answer.addresses);
    if (answer.addresses.size() < TESK_ADDRESS_ENTRIES)
        domainIps[answer.addresses.size()] = 0;
    CopyEntries(servicePorts, answer.servicePorts);
    CopyEntries(dvrLocalPorts, answer.dvrLocalPorts);
    CopyEntries(clientNatPorts, answer.clientNatPorts);
    return answer.rc;
}

}  // namespace

extern "C" int PelStartTESKMakeHole(const char* name, unsigned short* pServicePorts, int /*flags*/,
                                    unsigned int* pDomainIPs, unsigned short* pClientPorts,
                                    unsigned short* pDVRLocalPorts, void* further,
                                    unsigned short* pClientNATPorts)
{
    try {
        return MakeHole(name, pServicePorts, pDomainIPs, pClientPorts, pDVRLocalPorts, further,
                        pClientNATPorts);
    } catch (...) {
        return TESK_RC_NO_TABLE;
    }
}
