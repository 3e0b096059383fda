#pragma once

namespace qvhost {

// Fills an empty address table "pelm_addresses_ass" with ten German demo addresses (example.com /
// example.org mail domains, some without e-mail, some with only the second e-mail field) and each
// with its "pelm_addresses_det" row (isactive 1 or 0), in one transaction. Does nothing when the
// table holds any row. Hosts seeding one database at the same moment are serialised (PostgreSQL: an
// advisory transaction lock), so the addresses exist once. Answers the number of addresses inserted. Throws
// EQVDatabaseException.
int SeedDemoAddresses();

// Number of demo addresses SeedDemoAddresses inserts into an empty table.
int DemoAddressCount();

} // namespace qvhost
