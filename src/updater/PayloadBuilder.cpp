#include "integrity/Digest.h"
#include "updater/PayloadTable.h"

namespace vexa {

std::string buildPayload(const std::vector<PayloadSource>& files) {
    std::string table(payloadHeader);
    for (const PayloadSource& file : files)
        table += hexDigest(file.content.data(), file.content.size(), L"SHA256") + ' ' +
                 std::to_string(file.content.size()) + ' ' + file.relativePath + '\n';
    table += '\n';
    for (const PayloadSource& file : files) table += file.content;
    return table;
}

} // namespace vexa
