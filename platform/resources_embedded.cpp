#include "platform/resources.h"

namespace pentad {
namespace embedded {
extern const unsigned char whites_data[];
extern const unsigned long whites_size;
extern const unsigned char sec4_data[];
extern const unsigned long sec4_size;
extern const unsigned char japanese_data[];
extern const unsigned long japanese_size;
extern const unsigned char tournamenteval_data[];
extern const unsigned long tournamenteval_size;
extern const unsigned char tournamentnet_data[];
extern const unsigned long tournamentnet_size;
} // namespace embedded

std::span<const uint8_t> findResource(std::string_view name) {
    struct Entry {
        std::string_view name;
        const unsigned char *data;
        const unsigned long *size;
    };
    static const Entry entries[] = {
        {"whites", embedded::whites_data, &embedded::whites_size},
        {"sec4", embedded::sec4_data, &embedded::sec4_size},
        {"japanese", embedded::japanese_data, &embedded::japanese_size},
        {"tournamenteval", embedded::tournamenteval_data, &embedded::tournamenteval_size},
        {"tournamentnet", embedded::tournamentnet_data, &embedded::tournamentnet_size},
    };
    for (const Entry &entry : entries)
        if (entry.name == name) return {entry.data, size_t(*entry.size)};
    return {};
}

} // namespace pentad
