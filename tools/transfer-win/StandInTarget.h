#pragma once
// Where the image goes: the receiver simulator's loopback listener, published as the file
// "<port>.tcp" in the virtual ports folder, holding "<tcp port> <secret>" (the secret is 32
// hex digits). The port named by VELL_STANDIN_PORT is taken, otherwise the first "*.tcp" by
// name.

#include <cstdint>
#include <string>

struct TTransferTarget {
    uint16_t Port = 0; // 0: none found; Problem says why
    std::string Secret;
    std::string Problem;
};

TTransferTarget FindTransferTarget();
