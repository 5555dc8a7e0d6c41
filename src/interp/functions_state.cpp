// The function table and the globals of stored code.
#include "interp/functions.h"

func* func_store[FUNC_BUCKETS] = {};

char current_func[16] = "";
cond* last_good_one = nullptr;
comment* last_comm = nullptr;
name* last_attached = nullptr;
int new_funcs = 0;
int in_sys_func = 0;
int doing_sys_func = 0;
tokenrec sys_func_token = {{0}, UNHASHED};
form* sys_func = nullptr;

name* startexpr = nullptr;
name* prev_expr = nullptr;
int uninit = 0;
