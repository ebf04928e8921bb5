-- Opens a saved snapshot in a fresh process and prints the plug-in's values as
-- Ardour holds them. With BW_RESAVE it lets the plug-in run for a second and
-- saves the session again under that snapshot name, with the plug-in's state
-- as it is then.
local dir = os.getenv("BW_SESSION_DIR")
local snapshot = os.getenv("BW_SNAPSHOT") or "bw"
local resave = os.getenv("BW_RESAVE")
AudioEngine:set_backend("None (Dummy)", "", "")
assert(load_session(dir, snapshot), "cannot load snapshot " .. snapshot)
local tr = Session:route_by_name("BW")
assert(not tr:isnil(), "no track BW")
local proc = tr:nth_plugin(0)
assert(not proc:isnil(), "no plug-in on the track")
print("plugin " .. proc:name())
for i = 0, 21 do print(string.format("param %d %.6f", i, ARDOUR.LuaAPI.get_processor_param(proc, i, true))) end
if resave then
  ARDOUR.LuaAPI.usleep(1000000)
  Session:save_state(resave, false, false, false, false, false)
end
close_session()
