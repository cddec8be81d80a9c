// The customer-name table: the name behind each customer id that a
// controller carries in its customer-id fields and firmware-update records.
#pragma once

#include <QString>
#include <cstdint>

namespace lumora::analyze {

constexpr int kCustomerNameCount = 345;

// The name of a customer id: "Unknown" for an id past the table, an empty
// text for an id without a name.
QString customerName(uint32_t id);

}  // namespace lumora::analyze
