#pragma once
// Saving the script state as text: every live object of the object heap in
// address order with its saved fields, then every task that waits but has not
// started yet. Objects are named "O.<n>" (cell offset in smallest cells),
// tasks "T.<n>" (record index), every other address by its label, so the text
// stays valid for any build of the same script modules.
#include <cstdint>

struct kcontext_t;

// Writes the state to descriptor fd. 1 on success; 0 when an address had no
// name, an object no method table or readable save information, or the
// stream failed (the writing goes on to the end, with "ERR_..." names in the text).
int save_state(kcontext_t* c, int fd);
// Writes one object block; 0 when it cannot be saved whole.
int save_object(kcontext_t* c, uint32_t object, int fd);
