// Camera setup wizard page. Everything goes through the native object
// FinderObj; it answers slow requests by a completion flag that this page
// polls, and hands data over by calling the global functions at the end of
// bridge.js. Every text that comes from a camera is shown with textContent.
//
// The page is plain scripts, loaded in order by index.html (a page opened
// from a file cannot load modules). They share the global scope; only this
// file and start.js do anything as they load, so the functions in between
// may call each other whatever their order.
//
// This file: the fixed tables and W, the page's one state object.
"use strict";

var DEFAULT_MODEL = "RC-100";
var POLL_MS = 250;
var MAX_CAMERAS = 64;
var MAX_STATIONS = 128;

var MODE_NAMES = ["Infrastructure", "Ad hoc"];
var AUTH_NAMES = ["Open system", "Shared key", "WPA-PSK", "WPA2-PSK", "WPA", "WPA2"];
var ENC_NAMES = ["None", "WEP", "TKIP", "AES", "TKIP and AES"];
var WEP_LEN_NAMES = ["64-bit", "128-bit"];
var WEP_FMT_NAMES = ["Hexadecimal", "ASCII text"];
var WEP_DEF_NAMES = ["Key 1", "Key 2", "Key 3", "Key 4"];
var ENC_WEP = 1;
// The encryptions that go with each authentication (by index).
var AUTH_ENC = [[0, 1], [1], [2, 3, 4], [2, 3, 4], [2, 3, 4], [2, 3, 4]];
// Shorter new passwords get a hint; the hint names this number.
var SHORT_PASSWORD = 8;
// The fields whose values make up a form; a form left with values other
// than those last read or applied has changes that are not applied.
var FORM_FIELDS = {
  address: ["addr-dhcp", "addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"],
  password: ["pw-new", "pw-repeat"],
  wireless: ["wl-enable", "wl-ssid", "wl-mode", "wl-channel", "wl-auth", "wl-enc", "wl-weplen",
             "wl-wepfmt", "wl-wepdef", "wl-wepkey", "wl-wpakey"]
};
// Shown where the camera's web address could not be read.
var NO_ADDRESS = "Not known: the camera's address could not be read";
var FORM_TITLES = { address: "IP address", password: "Password", wireless: "Wireless" };
// The wireless fields that mean nothing while wireless is off.
var WIRELESS_DETAILS = ["wl-ssid", "wl-mode", "wl-channel", "wl-auth", "wl-enc", "wl-weplen", "wl-wepfmt",
                        "wl-wepdef", "wl-wepkey", "wl-wpakey", "wl-show-keys"];
// How a request that ran past its time is watched for its end: each second
// for ten minutes, then, the user told to start the wizard again, slowly.
var STALE_POLL_MS = 1000;
var STALE_POLLS = 600;
var STALE_SLOW_POLL_MS = 10000;
var STALE_GIVE_UP = "The camera has not answered an earlier request for 10 minutes, so the wizard cannot go on " +
  "with it. Close the wizard and start it again.";
// The quick-start guide that ships beside this page, relative to the program's folder.
var MANUAL = "MacHtml/QuickStart.pdf";
var STEPS = ["search", "login", "info", "address", "password", "wireless",
             "save", "remote", "live", "finish"];
// The camera's web interface takes Basic authorization for the live picture.
var LIVE_AUTH_BASIC = 2;
// How long the live step waits for the camera's first picture before it
// says what to check, and how often it looks.
var LIVE_WAIT_MS = 10000;
var LIVE_CHECK_MS = 1000;
var LIVE_HINT = "Check that the camera is on and connected, and that its web page opens in your browser " +
  "with the user name and password you logged in with. The wizard keeps trying.";
// Hints that the quick-start guide (app/manual/QuickStart.txt) gives word
// for word.
var CAMERA_TWINS_HINT = "Some cameras have the same name. Tell them apart by the MAC address: " +
  "it is printed on the label of each camera.";
var LOGIN_HINT = "A new camera's user name and password are printed on the label on its underside. " +
  "If the password was changed and nobody knows it any more, reset the camera: while it is powered, " +
  "hold its reset button down for about 10 seconds. It restarts with the password on its label " +
  "and with its factory settings.";

// selectCamera resets what belongs to the chosen camera.
var W = {
  // The model searched for; its icon shows in the header.
  model: DEFAULT_MODEL,
  // The step on screen, one of STEPS.
  step: "search",
  // A request runs: the busy indicator shows and the controls are off.
  busy: false,
  // A request that ran past its time on the page may still run natively;
  // no new request starts until the bridge reports it complete.
  stale: false,
  // Counts the messages shown, so that a later update replaces only its own.
  messageId: 0,
  // The messageId of the message that says the wizard still waits for the camera.
  staleMessage: -1,
  // That request has run for so long that only a new start helps.
  staleLong: false,
  // The slow request that runs (see startRequest), or null.
  request: null,
  // Run by Escape while a question is up.
  cancelAction: null,
  // A request's outcome put the keyboard where it belongs.
  focusPlaced: false,
  // Escape runs cancelAction while a request runs too.
  cancelAnyTime: false,
  // The messageId of the question asked about closing while a request runs.
  busyQuestion: -1,
  // That question was up when the request ended; one that follows asks again.
  closePending: false,
  // The error of one field: its ids and the message that names it.
  fieldError: null,
  // A search runs; the cameras reported count only meanwhile.
  searching: false,
  // Ends a search whose completion never comes.
  searchTimer: 0,
  // The cameras found: { mac, index, name, ip }.
  cameras: [],
  // The chosen camera, one of cameras, or null.
  cam: null,
  // The camera took the user and password, and its information was read.
  loggedIn: false,
  // The user name logged in with.
  user: "",
  // Logins the chosen camera refused since the last one it took.
  loginRefusals: 0,
  // The password the camera takes now: the one logged in with, or the one changed to.
  password: "",
  // What GatherCameraInfo handed over last; null before each read.
  lastInfo: null,
  // The chosen camera's information as last read; null until read.
  info: null,
  // The camera's web address; "" when it could not be read.
  address: "",
  // What the camera says it can do: { survey, commit, queryNetwork }; null until read.
  options: null,
  // The wireless capabilities while GatherWirelessCap* hand them over.
  capBuild: null,
  // The camera's wireless capabilities: { modes, channels, auth, enc }; null when it gave none.
  cap: null,
  // What GatherWirelessInfo handed over last; null before each read.
  wirelessRaw: null,
  // The camera's wireless settings as read or last applied; null until read.
  wireless: null,
  // A scan's networks are being handed over; those reported count only meanwhile.
  surveyCollecting: false,
  // The networks the last scan found: { ssid, signal, mode, enc, auth, channel }.
  surveyRows: [],
  // Scans run on this camera; the first one ends differently from a rescan.
  scans: 0,
  // Whether remote access is on; null until the camera was asked.
  remoteOn: null,
  // The camera did not answer when last asked about remote access.
  remoteSilent: false,
  // The remote address; "" until read.
  remoteUrl: "",
  // The program draws the live picture over the page.
  live: false,
  // Watches for the live picture's first picture while its step shows.
  liveWatch: 0,
  // The messageId of the message that says no picture came.
  liveMessage: -1,
  // Per form, the values last read or applied; null: not filled yet.
  base: { address: null, password: null, wireless: null },
  // What was applied: address and wireless as texts ("" for nothing), and
  // whether the password was changed.
  applied: { address: "", password: false, wireless: "" },
  // Per form, whether applied settings still wait for a save.
  unsaved: { address: false, wireless: false },
  // The last save's outcome: "" (none), "ok", or "noanswer" (sent, but the
  // camera did not answer afterwards).
  saved: ""
};
