-- MIDI Sondrel in a headless Ardour session (ardour7-lua, "None (Dummy)" back end), one step
-- per run, chosen by SONDREL_STEP; the session's tempo map, length, locate and loop come from
-- the plan SONDREL_PLAN (a Lua table written by host_takes.py):
--   create  a session with the plan's meter and tempos whose track A holds a region recorded from
--           a note generator, the plug-in on A, A's output recorded on track B; saved
--   play    (the saved state says "Keep takes with the project") roll from 0 to the end recording
--           B; if the plan says so, a locate there and a roll to the end, then the loop range
--           into its third pass; "Main Tab" set to 1; saved
--   reload  a fresh load: "Main Tab" read back; saved as the snapshot "reloaded"
-- Environment: SONDREL_SESSION (folder), SONDREL_FORMAT (LV2 | VST3), SONDREL_PLUGIN (URI or
-- VST3 uid). Prints "RESULT key=value" lines for the driver.
local session_dir = os.getenv ("SONDREL_SESSION")
local format = os.getenv ("SONDREL_FORMAT")
local plugin_id = os.getenv ("SONDREL_PLUGIN")
local step = os.getenv ("SONDREL_STEP")
local name = "sondrel"
local rate = 48000
local plan = dofile (os.getenv ("SONDREL_PLAN"))
local MIDI = ARDOUR.DataType ("midi")

local function result (key, value) print (string.format ("RESULT %s=%s", key, tostring (value))) end
local function fail (message)
	result ("fail", message)
	close_session ()
	error (message)
end

local function wait_until (condition, seconds)
	for _ = 1, seconds * 100 do
		if condition () then return true end
		ARDOUR.LuaAPI.usleep (10000)
	end
	return false
end

local function start_backend ()
	ARDOUR.config ():set_hide_dummy_backend (false)
	ARDOUR.config ():set_stop_at_session_end (false)
	local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
	assert (backend and not backend:isnil (), "no dummy back end")
	backend:set_driver (plan.speed) -- the plug-in sees the same blocks at any speed
	backend:set_device_name ("Silence")
end

local function track (track_name)
	local route = Session:route_by_name (track_name)
	if route:isnil () then fail ("no track " .. track_name) end
	return route:to_track ():to_midi_track ()
end

local function new_track (track_name)
	local list = Session:new_midi_track (ARDOUR.ChanCount (MIDI, 1), ARDOUR.ChanCount (MIDI, 1), false,
		ARDOUR.PluginInfo (), nil, nil, 1, track_name, ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
	return list:front ()
end

local function connect (from, to) -- from's MIDI output to to's MIDI input, and nothing else
	local out, input = from:output ():midi (0), to:input ():midi (0)
	out:disconnect_all ()
	input:disconnect_all ()
	out:connect (input:name ())
end

local function plugin_insert (route)
	for i = 0, 8 do
		local p = route:nth_plugin (i)
		if p:isnil () then break end
		if p:to_insert ():plugin (0):name () == "MIDI Sondrel" then return p:to_insert (), p end
	end
	fail ("the plug-in is not on " .. route:name ())
end

local function main_tab (insert)
	local automatable = insert:to_automatable ()
	for parameter in automatable:all_automatable_params ():iter () do
		local control = automatable:automation_control (parameter, false)
		if not control:isnil () and (control:name () == "Main Tab" or control:desc ().label == "Main Tab") then return control end
	end
	fail ("no Main Tab control")
end

local function arm (tracks, on) -- record-arms or disarms, and waits until the engine has done it
	for _, t in ipairs (tracks) do t:rec_enable_control ():set_value (on and 1 or 0, PBD.GroupControlDisposition.NoGroup) end
	if on then Session:maybe_enable_record (false) else Session:disable_record (false, false) end
	for _, t in ipairs (tracks) do
		if not wait_until (function () return (t:rec_enable_control ():get_value () > 0) == on end, 10) then
			fail ("record-arming " .. t:name ())
		end
	end
end

local function locate (sample)
	Session:request_locate (sample, false, ARDOUR.LocateTransportDisposition.MustStop, ARDOUR.TransportRequestSource.TRS_UI)
	if not wait_until (function () return Session:transport_sample () == sample and Session:transport_stopped () end, 10) then
		fail ("locate to " .. sample)
	end
	ARDOUR.LuaAPI.usleep (500000) -- the butler refills the tracks' buffers from the new place
end

local function load ()
	if not load_session (session_dir, name) then fail ("load_session") end
	ARDOUR.LuaAPI.usleep (1000000) -- the plug-in's state restored, the tracks' buffers filled
end

local function roll ()
	Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
	if not wait_until (function () return Session:transport_rolling () end, 10) then fail ("roll") end
end

local function stop ()
	Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
	if not wait_until (function () return Session:transport_stopped () end, 10) then fail ("stop") end
	ARDOUR.LuaAPI.usleep (500000) -- the butler writes what was recorded
end

local function until_sample (sample) -- rolling, until the transport has passed `sample`
	if not wait_until (function () return Session:transport_sample () >= sample end, 30) then fail ("reaching " .. sample) end
end

start_backend ()

-- Rolling, until the transport has wrapped round the loop range `passes` times.
local function until_wrapped (passes)
	local last = Session:transport_sample ()
	for _ = 1, passes do
		if not wait_until (function ()
			local now = Session:transport_sample ()
			local wrapped = now < last
			last = now
			return wrapped
		end, 30) then fail ("looping") end
	end
end

if step == "create" then
	if not create_session (session_dir, name, rate) then fail ("create_session") end
	local map = Temporal.TempoMap.write_copy ()
	map:set_meter (Temporal.Meter (plan.beats_per_bar, 4), Temporal.timepos_t.from_ticks (0))
	for _, t in ipairs (plan.tempos) do -- { beat, bpm }
		map:set_tempo (Temporal.Tempo (t[2], t[2], 4), Temporal.timepos_t.from_ticks (t[1] * Temporal.ticks_per_beat))
	end
	Temporal.TempoMap.update (map)
	local gen, a, b = new_track ("Gen"), new_track ("A"), new_track ("B")
	local generator = ARDOUR.LuaAPI.new_luaproc (Session, "Sondrel Test Notes")
	if generator:isnil () then fail ("the note generator is not installed") end
	gen:add_processor_by_index (generator, 0, nil, true)
	connect (gen, a)
	b:input ():midi (0):disconnect_all ()
	arm ({ a }, true)
	locate (0)
	roll ()
	until_sample (plan.length + rate / 2)
	stop ()
	arm ({ a }, false)
	result ("regions_on_A", a:playlist ():n_regions ())
	gen:remove_processor (generator, nil, true)
	gen:output ():midi (0):disconnect_all ()
	gen:set_active (false, nil)

	local plugin = ARDOUR.LuaAPI.new_plugin (Session, plugin_id, format == "VST3" and ARDOUR.PluginType.VST3 or ARDOUR.PluginType.LV2, "")
	if plugin:isnil () then fail ("the plug-in could not be created") end
	a:add_processor_by_index (plugin, 0, nil, true)
	connect (a, b)
	result ("plugin_active", plugin:to_insert ():active ())
	result ("audio_outputs_of_A", a:output ():n_ports ():n_audio ())
elseif step == "play" then
	load ()
	local a, b = track ("A"), track ("B")
	plugin_insert (a)
	arm ({ a }, false) -- A plays its region; it records nothing
	-- from 0 to the end, recording what the plug-in puts out on B
	arm ({ b }, true)
	locate (0)
	roll ()
	until_sample (plan.length + rate / 2)
	stop ()
	arm ({ b }, false)
	result ("regions_on_B", b:playlist ():n_regions ())
	if plan.locate then -- a jump back, then on to the end
		locate (plan.locate)
		roll ()
		until_sample (plan.length + rate / 2)
		stop ()
	end
	if plan.loop then -- the loop range, into its third pass
		local loop = Session:locations ():auto_loop_location ()
		if not loop then fail ("no loop range") end
		locate (loop:start ():samples ())
		Session:request_play_loop (true, true)
		if not wait_until (function () return Session:transport_rolling () end, 10) then fail ("loop roll") end
		until_wrapped (2)
		until_sample ((loop:start ():samples () + loop:_end ():samples ()) / 2)
		stop ()
		Session:request_play_loop (false, false)
	end
	main_tab (plugin_insert (a)):set_value (1, PBD.GroupControlDisposition.NoGroup)
	ARDOUR.LuaAPI.usleep (300000)
elseif step == "reload" then
	load ()
	result ("main_tab", main_tab (plugin_insert (track ("A"))):get_value ())
	name = "reloaded"
end

Session:save_state (step == "reload" and "reloaded" or "", false, false, false, false, false)
close_session ()
result ("done", step)
