// The portable Rijndael key schedule (FIPS-197 5.2 KeyExpansion, and the
// InvMixColumns conversion of 5.3.5 for the equivalent inverse cipher), by
// the constant tables.  Schedules are laid out as Rijndael stores them:
// round key r at rk + 16 * r, FIPS-197 byte order.
#ifndef QOLT_RIJNDAEL_KEY_H
#define QOLT_RIJNDAEL_KEY_H

// Expands the 4 * (rounds - 6) bytes at key into round keys 0 to rounds.
void rijndaelTablesExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk);

// Replaces round keys 1 to rounds - 1 by InvMixColumns of their words.
void rijndaelTablesInvertKey(unsigned rounds, unsigned char *rk);

#endif  // QOLT_RIJNDAEL_KEY_H
