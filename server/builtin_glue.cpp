// Builtins that reach the script glue: the clients' input, names and rights,
// the persistent block, object dumps and script console commands.
#include "server/builtin_call.h"
#include "server/builtin_table.h"
#include "server/script_glue.h"
#include "server/server.h"

int client_of(kcontext_t* c, int32_t client)
{
    BUILTIN_CHECK(c, client >= 0);
    BUILTIN_CHECK(c, client < SERVER_MAXCLIENTS);
    return client;
}

DEFINE_BUILTIN(get_input_type, 1)
{
    builtin_result_int(a.context(), get_input_type(s, client_of(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(get_input_info, 1)
{
    builtin_result(a.context(), get_input_info(s, client_of(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(get_input_impulse, 1)
{
    builtin_result_int(a.context(), get_input_impulse(s, client_of(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(get_client_name, 1)
{
    builtin_result(a.context(), get_client_name(s, client_of(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(is_client_cheater, 1)
{
    builtin_result_int(a.context(), is_cheater(s, client_of(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(is_client_administrator, 1)
{
    builtin_result_int(a.context(), is_administrator(s, client_of(a.context(), a.i32(0))));
}

DEFINE_BUILTIN(set_client_group, 2) { set_client_group(s, client_of(a.context(), a.i32(0)), a.i32(1)); }

DEFINE_BUILTIN(dump, 1) { dump(s, a.u32(0)); }

DEFINE_BUILTIN(get_cmos, 0) { builtin_result(a.context(), s.k_exports.cmos); }

DEFINE_BUILTIN(register_command, 6)
{
    builtin_result_int(a.context(), register_script_command(s, a.str(0), a.u32(1), a.i32(2), a.u32(3), a.str(4),
                                                            a.i32(5)));
}

DEFINE_BUILTIN(unregister_command, 3)
{
    builtin_result_int(a.context(), unregister_script_command(s, a.str(0), a.u32(1), a.i32(2)));
}
