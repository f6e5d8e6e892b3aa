// Camera setup wizard page. Everything goes through the native object
// FinderObj; it answers slow requests by a completion flag that this page
// polls, and hands data over by calling the global functions at the end of
// this file. Every text that comes from a camera is shown with textContent.
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
// The quick-start guide that ships beside this page, relative to the program's folder.
var MANUAL = "MacHtml/QuickStart.pdf";
var STEPS = ["search", "login", "info", "address", "password", "wireless",
             "save", "remote", "live", "finish"];
// The camera's web interface takes Basic authorization for the live picture.
var LIVE_AUTH_BASIC = 2;

var W = {
  model: DEFAULT_MODEL,
  step: "search",
  busy: false,
  // A request that ran past its time on the page may still run natively;
  // no new request starts until the bridge reports it complete.
  stale: false,
  searching: false,
  searchTimer: 0,
  cameras: [],
  cam: null,
  loggedIn: false,
  user: "",
  password: "",
  lastInfo: null,
  info: null,
  address: "",
  options: null,
  capBuild: null,
  cap: null,
  wirelessRaw: null,
  wireless: null,
  surveyCollecting: false,
  surveyRows: [],
  scans: 0,
  remoteOn: null,
  remoteUrl: "",
  live: false
};

function $(id) { return document.getElementById(id); }

function now() { return performance.now(); }

function toInt(v) {
  var n = parseInt(String(v), 10);
  return isFinite(n) ? n : 0;
}

function toText(v) {
  return v === undefined || v === null ? "" : String(v);
}

function utf8Length(s) {
  return new TextEncoder().encode(s).length;
}

function el(tag, cls, text) {
  var e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
}

function formatMac(mac) {
  mac = toText(mac);
  if (/^[0-9A-Fa-f]{12}$/.test(mac)) return mac.toUpperCase().match(/../g).join(":");
  return mac;
}

function cameraLabel(cam) {
  return cam.name !== "" ? cam.name : "Camera " + formatMac(cam.mac);
}

// ---- messages and the busy indicator

function showMessage(text, kind) {
  var m = $("message");
  m.textContent = text;
  m.className = kind || "";
  m.hidden = false;
}

function clearMessage() {
  var m = $("message");
  m.hidden = true;
  m.textContent = "";
}

function setBusy(text) {
  W.busy = true;
  $("busy-text").textContent = text;
  $("busy").hidden = false;
  setControlsDisabled(true);
}

function endBusy() {
  W.busy = false;
  $("busy").hidden = true;
  setControlsDisabled(false);
}

function setControlsDisabled(off) {
  var controls = document.querySelectorAll("#content button, #content input, #content select");
  for (var i = 0; i < controls.length; i++) controls[i].disabled = off;
  if (!off) refreshControls();
}

function hasBridge() {
  return typeof window.FinderObj !== "undefined" && window.FinderObj !== null;
}

function bridgeFailure(name, e) {
  console.error("[wizard] " + name + " failed: " + e);
  showMessage("The wizard program did not carry out the request (" + name + ").", "error");
}

// May a new request start now?
function ready() {
  if (W.busy) return false;
  if (!hasBridge()) {
    showMessage("This page works only inside the camera wizard program.", "error");
    return false;
  }
  if (W.stale) {
    var done = false;
    try { done = toInt(FinderObj.CheckThreadComplete()) === 1; } catch (e) { done = false; }
    if (!done) {
      showMessage("The camera is still busy with an earlier request. Wait a moment and try again.", "error");
      return false;
    }
    W.stale = false;
  }
  return true;
}

// A slow request: start() hands it to a native worker, and done() runs once
// the completion flag is up. Polling ends after timeoutMs at the latest.
function startRequest(req) {
  if (!ready()) return false;
  setBusy(req.busy);
  try {
    req.start();
  } catch (e) {
    endBusy();
    bridgeFailure(req.name, e);
    return false;
  }
  var deadline = now() + req.timeoutMs;
  var polls = 0;
  var maxPolls = Math.ceil(req.timeoutMs / POLL_MS) + 1;
  function poll() {
    var complete;
    try {
      complete = toInt(FinderObj.CheckThreadComplete()) === 1;
    } catch (e) {
      endBusy();
      bridgeFailure("CheckThreadComplete", e);
      return;
    }
    if (complete) {
      endBusy();
      try { req.done(); } catch (e) { bridgeFailure(req.name, e); }
      return;
    }
    polls++;
    if (polls >= maxPolls || now() >= deadline) {
      W.stale = true;
      endBusy();
      console.error("[wizard] " + req.name + " did not complete in time");
      showMessage(req.timeoutText || "The camera did not answer in time. Try again.", "error");
      return;
    }
    setTimeout(poll, POLL_MS);
  }
  setTimeout(poll, POLL_MS);
  return true;
}

// A quick request that blocks inside the bridge: show the indicator first so
// that it is on screen while the call runs.
function runSync(name, busyText, fn) {
  if (!ready()) return false;
  setBusy(busyText);
  setTimeout(function () {
    endBusy();
    try { fn(); } catch (e) { bridgeFailure(name, e); }
  }, 40);
  return true;
}

// ---- steps

function stepOpen(step) {
  if (step === "search") return true;
  if (step === "login") return W.cam !== null;
  return W.cam !== null && W.loggedIn;
}

function goTo(step) {
  if (W.busy || !stepOpen(step)) return;
  if (step !== "live") stopLive();
  W.step = step;
  clearMessage();
  for (var i = 0; i < STEPS.length; i++) $("step-" + STEPS[i]).hidden = STEPS[i] !== step;
  renderNav();
  enterStep(step);
}

function renderNav() {
  var items = document.querySelectorAll("#steps li");
  var reached = STEPS.indexOf(W.step);
  for (var i = 0; i < items.length; i++) {
    var s = items[i].getAttribute("data-step");
    items[i].classList.toggle("open", stepOpen(s));
    items[i].classList.toggle("current", s === W.step);
    items[i].classList.toggle("done", STEPS.indexOf(s) < reached && stepOpen(s));
  }
}

function enterStep(step) {
  if (step === "login") {
    if (!$("login-user").value) $("login-user").value = "admin";
    $("login-password").focus();
  } else if (step === "info") {
    renderInfo();
  } else if (step === "address") {
    fillAddressForm();
  } else if (step === "password") {
    $("password-user").textContent = W.user;
  } else if (step === "wireless") {
    if (!W.wireless) loadWireless();
  } else if (step === "save") {
    if (W.options && !W.options.commit)
      showMessage("This camera does not list a save command; it may apply settings at once.", "");
  } else if (step === "remote") {
    if (W.remoteOn === null) readRemoteState();
    renderRemote();
  } else if (step === "live") {
    startLive();
  } else if (step === "finish") {
    renderFinish();
  }
  refreshControls();
}

function refreshControls() {
  if (W.busy) return;
  var dhcp = $("addr-dhcp").checked;
  var fixed = ["addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"];
  for (var i = 0; i < fixed.length; i++) $(fixed[i]).disabled = dhcp;
  $("address-btn").disabled = !W.info;
  $("wireless-btn").disabled = !W.wireless;
  $("survey-btn").disabled = !W.wireless || (W.options !== null && !W.options.survey);
  var enc = toInt($("wl-enc").value);
  $("wep-fields").hidden = enc !== ENC_WEP;
  $("wpa-fields").hidden = !(enc > ENC_WEP);
  var show = $("wl-show-keys").checked ? "text" : "password";
  $("wl-wepkey").type = show;
  $("wl-wpakey").type = show;
  $("remote-btn").textContent = W.remoteOn ? "Read the remote address" : "Turn on remote access";
  $("remote-btn").disabled = W.remoteOn === null;
}

function updateHeader() {
  $("camera-line").textContent = W.cam
    ? cameraLabel(W.cam) + "  ·  " + formatMac(W.cam.mac) + (W.cam.ip ? "  ·  " + W.cam.ip : "")
    : "No camera selected";
}

function updateIcon() {
  var icon = $("model-icon");
  icon.classList.remove("missing");
  icon.src = encodeURIComponent(W.model) + ".icns";
}

// ---- search

function search() {
  var model = $("model-input").value.trim();
  if (model === "") {
    showMessage("Enter the model of the camera to look for.", "error");
    return;
  }
  if (!ready()) return;
  clearMessage();
  W.model = model;
  updateIcon();
  W.cameras = [];
  selectCamera(null);
  renderCameraList();
  W.searching = true;
  setBusy("Searching for cameras of model " + model + "…");
  try {
    FinderObj.SearchCamera_(model);
  } catch (e) {
    W.searching = false;
    endBusy();
    bridgeFailure("SearchCamera_", e);
    return;
  }
  if (W.searching) W.searchTimer = setTimeout(searchTimedOut, 30000);
}

function searchTimedOut() {
  if (!W.searching) return;
  W.searching = false;
  W.stale = true;
  endBusy();
  showMessage("The search did not finish. Try again.", "error");
}

function searchFinished() {
  W.searching = false;
  clearTimeout(W.searchTimer);
  endBusy();
  if (W.cameras.length === 0) {
    renderCameraList();
    logSearch();
    showMessage("No camera of model " + W.model + " was found.\n" +
                "Check that the camera is powered and connected to this network, then search again.", "error");
    return;
  }
  readCameraDetails(0);
}

// scripts/demo waits for this line before it takes its screenshot.
function logSearch() {
  console.log("[wizard] search finished: " + W.cameras.length + " camera(s) of model " + W.model);
}

// Names and addresses for the list, one camera per step so that the
// indicator can tell how far it is.
function readCameraDetails(k) {
  if (k >= W.cameras.length) {
    renderCameraList();
    logSearch();
    return;
  }
  var cam = W.cameras[k];
  runSync("GetCameraInfo_", "Reading camera " + (k + 1) + " of " + W.cameras.length + "…", function () {
    W.lastInfo = null;
    if (toInt(FinderObj.GetCameraInfo_(cam.index)) === 1 && W.lastInfo) {
      cam.name = W.lastInfo.name;
      cam.ip = W.lastInfo.ip;
    }
    readCameraDetails(k + 1);
  });
}

function renderCameraList() {
  var list = $("camera-list");
  clear(list);
  $("camera-list-box").hidden = W.cameras.length === 0;
  var n = W.cameras.length;
  $("camera-count").textContent = n === 1
    ? "One camera of model " + W.model + " was found. Choose it to go on."
    : n + " cameras of model " + W.model + " were found. Choose the one to set up.";
  W.cameras.forEach(function (cam) {
    var li = el("li");
    var b = el("button");
    b.type = "button";
    b.className = "camera-item";
    b.setAttribute("data-index", String(cam.index));
    b.appendChild(el("span", "cam-name", cameraLabel(cam)));
    b.appendChild(el("span", "cam-detail", (cam.ip ? cam.ip + "  ·  " : "") + formatMac(cam.mac)));
    b.addEventListener("click", function () {
      if (W.busy) return;
      selectCamera(cam);
      goTo("login");
    });
    li.appendChild(b);
    list.appendChild(li);
  });
}

function selectCamera(cam) {
  W.cam = cam;
  W.loggedIn = false;
  W.password = "";
  W.info = null;
  W.address = "";
  W.options = null;
  W.cap = null;
  W.wireless = null;
  W.surveyRows = [];
  W.scans = 0;
  W.remoteOn = null;
  W.remoteUrl = "";
  $("login-password").value = "";
  $("survey-box").hidden = true;
  updateHeader();
  renderNav();
}

// ---- login and camera information

function login() {
  var user = $("login-user").value;
  var password = $("login-password").value;
  if (user === "") {
    showMessage("Enter the user name.", "error");
    return;
  }
  if (utf8Length(user) > 31 || utf8Length(password) > 31) {
    showMessage("User name and password are at most 31 bytes long.", "error");
    return;
  }
  var cam = W.cam;
  runSync("VerifyAuth_ID_Password_", "Logging in…", function () {
    var rc = toInt(FinderObj.VerifyAuth_ID_Password_(cam.index, user, password));
    if (rc !== 0) {
      W.loggedIn = false;
      if (rc === -2 || rc === -8)
        showMessage("Login failed: the camera did not accept this user name and password.", "error");
      else
        showMessage("Login failed: the camera did not answer (" + rc + "). Check its network connection and try again.", "error");
      $("login-password").focus();
      return;
    }
    W.user = user;
    W.password = password;
    W.loggedIn = true;
    readOptions();
  });
}

function readOptions() {
  var cam = W.cam;
  startRequest({
    name: "GetOptionCmd_",
    busy: "Reading what the camera supports…",
    timeoutMs: 20000,
    start: function () { FinderObj.GetOptionCmd_(cam.index); },
    done: function () {
      W.options = null;
      toInt(FinderObj.CheckGetOptionCmd());
      if (readInfo()) goTo("info");
    }
  });
}

// Synchronous; true when the camera answered.
function readInfo() {
  W.lastInfo = null;
  var ok = toInt(FinderObj.GetCameraInfo_(W.cam.index)) === 1 && W.lastInfo !== null;
  if (!ok) {
    showMessage("The camera's information could not be read. Try again.", "error");
    return false;
  }
  W.info = W.lastInfo;
  W.cam.name = W.info.name;
  W.cam.ip = W.info.ip;
  W.address = toText(FinderObj.GetAddress_(W.cam.index));
  updateHeader();
  renderInfo();
  return true;
}

function renderInfo() {
  var i = W.info;
  if (!i) return;
  $("info-name").textContent = i.name;
  $("info-mac").textContent = formatMac(W.cam.mac);
  $("info-dhcp").textContent = i.dhcp ? "Automatic (DHCP)" : "Fixed address";
  $("info-ip").textContent = i.ip;
  $("info-mask").textContent = i.mask;
  $("info-gateway").textContent = i.gateway;
  $("info-dns").textContent = [i.dns1, i.dns2].filter(function (s) { return s !== ""; }).join(", ");
  $("info-web").textContent = W.address !== "" ? W.address
    : (i.https ? "https://" : "http://") + i.ip + ":" + i.port;
}

// ---- IP address

function parseIPv4(s) {
  var m = /^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$/.exec(s);
  if (!m) return null;
  var v = 0;
  for (var k = 1; k <= 4; k++) {
    var b = parseInt(m[k], 10);
    if (b > 255) return null;
    v = v * 256 + b;
  }
  return v;
}

function fillAddressForm() {
  var i = W.info;
  if (!i) return;
  $(i.dhcp ? "addr-dhcp" : "addr-fixed").checked = true;
  $("addr-ip").value = i.ip;
  $("addr-mask").value = i.mask;
  $("addr-gateway").value = i.gateway === "0.0.0.0" ? "" : i.gateway;
  $("addr-dns1").value = i.dns1 === "0.0.0.0" ? "" : i.dns1;
  $("addr-dns2").value = i.dns2 === "0.0.0.0" ? "" : i.dns2;
}

// Returns the five texts to send, or null after marking the first bad field.
function readFixedAddress() {
  var ids = ["addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"];
  var names = ["IP address", "subnet mask", "gateway", "first DNS server", "second DNS server"];
  var texts = [], values = [];
  for (var k = 0; k < ids.length; k++) $(ids[k]).classList.remove("invalid");
  function bad(k, why) {
    $(ids[k]).classList.add("invalid");
    $(ids[k]).focus();
    showMessage(why || "The " + names[k] + " is not a valid address (four numbers 0 to 255 with dots).", "error");
    return null;
  }
  for (k = 0; k < ids.length; k++) {
    var t = $(ids[k]).value.trim();
    if (t === "" && k >= 2) t = "0.0.0.0";
    var v = parseIPv4(t);
    if (v === null) return bad(k);
    texts.push(t);
    values.push(v);
  }
  var ip = values[0], mask = values[1];
  var inv = (0xFFFFFFFF - mask);
  if (mask === 0 || ((inv + 1) & inv) !== 0) return bad(1, "The subnet mask is not valid.");
  var net = ip - (ip % (inv + 1));
  if (ip === 0 || ip >= 0xE0000000 || ip === net || ip === net + inv)
    return bad(0, "The IP address cannot be used for a camera.");
  var gw = values[2];
  if (gw !== 0 && (gw - (gw % (inv + 1)) !== net || gw === ip))
    return bad(2, "The gateway must be another address in the camera's subnet.");
  return texts;
}

function applyAddress() {
  var cam = W.cam;
  var dhcp = $("addr-dhcp").checked;
  var t = null;
  if (!dhcp) {
    t = readFixedAddress();
    if (!t) return;
  }
  startRequest({
    name: dhcp ? "SetupDHCP_" : "SetupFixed_IP_Mask_Gateway_DNS1_DNS2_",
    busy: "Sending the address settings…",
    timeoutMs: 30000,
    start: function () {
      if (dhcp) FinderObj.SetupDHCP_(cam.index);
      else FinderObj.SetupFixed_IP_Mask_Gateway_DNS1_DNS2_(cam.index, t[0], t[1], t[2], t[3], t[4]);
    },
    done: function () {
      if (toInt(FinderObj.QueryResult()) === 1)
        showMessage("The camera took the address settings. Save the settings to make them take effect.", "ok");
      else
        showMessage("The camera did not take the address settings.", "error");
    }
  });
}

// ---- password

function changePassword() {
  var cam = W.cam;
  var pw = $("pw-new").value;
  var again = $("pw-repeat").value;
  if (pw === "" && again === "") {
    goTo("wireless");
    return;
  }
  if (pw !== again) {
    showMessage("The two passwords are not the same.", "error");
    return;
  }
  if (utf8Length(pw) > 31) {
    showMessage("The password is at most 31 bytes long.", "error");
    return;
  }
  var user = W.user, old = W.password;
  startRequest({
    name: "SetupAuth_ID_Password_OldPassword_",
    busy: "Changing the password…",
    timeoutMs: 30000,
    start: function () { FinderObj.SetupAuth_ID_Password_OldPassword_(cam.index, user, pw, old); },
    done: function () {
      $("pw-new").value = "";
      $("pw-repeat").value = "";
      if (toInt(FinderObj.QueryResult()) === 1) {
        W.password = pw;
        showMessage("The password was changed.", "ok");
      } else {
        var code = toInt(FinderObj.QueryAuthError());
        showMessage("The camera did not change the password (result " + code + "). The old password still applies.", "error");
      }
    }
  });
}

// ---- wireless

function fillSelect(select, values, names, current, prefix) {
  clear(select);
  var list = values.slice();
  if (current !== null && list.indexOf(current) < 0) list.push(current);
  list.sort(function (a, b) { return a - b; });
  list.forEach(function (v) {
    var o = el("option", "", v >= 0 && v < names.length ? names[v] : prefix + " " + v);
    o.value = String(v);
    select.appendChild(o);
  });
  if (current !== null) select.value = String(current);
}

function range(n) {
  var r = [];
  for (var k = 0; k < n; k++) r.push(k);
  return r;
}

function capOr(list, fallback) {
  return list && list.length > 0 ? list : fallback;
}

function loadWireless() {
  var cam = W.cam;
  runSync("GetWirelessInfo_", "Reading the wireless settings…", function () {
    W.capBuild = { modes: [], channels: [], auth: [], enc: [] };
    W.cap = toInt(FinderObj.GetWirelessCap_(cam.index)) === 1 ? W.capBuild : null;
    W.wirelessRaw = null;
    if (toInt(FinderObj.GetWirelessInfo_(cam.index)) !== 1 || !W.wirelessRaw) {
      W.wireless = null;
      showMessage("The wireless settings could not be read from the camera.", "error");
      refreshControls();
      return;
    }
    W.wireless = W.wirelessRaw;
    fillWirelessForm(W.wireless);
    refreshControls();
  });
}

function fillWirelessForm(w) {
  var cap = W.cap || {};
  var channels = [];
  for (var c = 1; c <= 13; c++) channels.push(c);
  $("wl-enable").checked = w.enable !== 0;
  $("wl-ssid").value = w.ssid;
  fillSelect($("wl-mode"), capOr(cap.modes, range(MODE_NAMES.length)), MODE_NAMES, w.mode, "Mode");
  fillSelect($("wl-channel"), capOr(cap.channels, channels), [], w.channel, "Channel");
  fillSelect($("wl-auth"), capOr(cap.auth, range(AUTH_NAMES.length)), AUTH_NAMES, w.auth, "Type");
  fillSelect($("wl-enc"), capOr(cap.enc, range(ENC_NAMES.length)), ENC_NAMES, w.enc, "Type");
  fillSelect($("wl-weplen"), range(WEP_LEN_NAMES.length), WEP_LEN_NAMES, w.wepLen, "Length");
  fillSelect($("wl-wepfmt"), range(WEP_FMT_NAMES.length), WEP_FMT_NAMES, w.wepFormat, "Format");
  fillSelect($("wl-wepdef"), range(WEP_DEF_NAMES.length), WEP_DEF_NAMES, w.wepDefault, "Key");
  $("wl-wepkey").value = w.wepKey;
  $("wl-wpakey").value = w.wpaKey;
}

function chooseValue(select, value, names, prefix) {
  var found = false;
  for (var k = 0; k < select.options.length; k++)
    if (select.options[k].value === String(value)) found = true;
  if (!found) {
    var o = el("option", "", value >= 0 && value < names.length ? names[value] : prefix + " " + value);
    o.value = String(value);
    select.appendChild(o);
  }
  select.value = String(value);
}

function checkWepKey(key, len, fmt) {
  var hex = /^[0-9A-Fa-f]*$/.test(key);
  var sizes = [[10, 5], [26, 13]];
  if (len > 1 || fmt > 1) return key !== "";
  var want = sizes[len][fmt];
  if (fmt === 0 && !hex) return false;
  return key.length === want && utf8Length(key) === want;
}

function applyWireless() {
  var cam = W.cam;
  var enable = $("wl-enable").checked ? 1 : 0;
  var ssid = $("wl-ssid").value;
  var mode = toInt($("wl-mode").value);
  var channel = toInt($("wl-channel").value);
  var auth = toInt($("wl-auth").value);
  var enc = toInt($("wl-enc").value);
  var wepLen = toInt($("wl-weplen").value);
  var wepFmt = toInt($("wl-wepfmt").value);
  var wepDef = toInt($("wl-wepdef").value);
  var wepKey = $("wl-wepkey").value;
  var wpaKey = $("wl-wpakey").value;
  if (utf8Length(ssid) > 32) {
    showMessage("The network name is at most 32 bytes long.", "error");
    return;
  }
  if (enable && ssid === "") {
    showMessage("Enter the name of the wireless network.", "error");
    return;
  }
  if (enc === ENC_WEP && enable && !checkWepKey(wepKey, wepLen, wepFmt)) {
    showMessage("The WEP key does not fit its length and format " +
                "(64-bit: 10 hexadecimal digits or 5 characters; 128-bit: 26 digits or 13 characters).", "error");
    return;
  }
  if (utf8Length(wepKey) > 31) {
    showMessage("The WEP key is at most 31 bytes long.", "error");
    return;
  }
  if (enc > ENC_WEP && enable) {
    var n = utf8Length(wpaKey);
    if (n < 8 || n > 64 || (n === 64 && !/^[0-9A-Fa-f]{64}$/.test(wpaKey))) {
      showMessage("The pass phrase has 8 to 63 characters, or is 64 hexadecimal digits.", "error");
      return;
    }
  }
  startRequest({
    name: "SetupWireless",
    busy: "Sending the wireless settings…",
    timeoutMs: 30000,
    start: function () {
      FinderObj.SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_WEPKey_WPAKey_(
        cam.index, enable, ssid, mode, channel, auth, enc, wepLen, wepFmt, wepDef, wepKey, wpaKey);
    },
    done: function () {
      if (toInt(FinderObj.QueryResult()) === 1) {
        W.wireless = { enable: enable, mode: mode, ssid: ssid, channel: channel, auth: auth, enc: enc,
                       wepLen: wepLen, wepFormat: wepFmt, wepDefault: wepDef, wepKey: wepKey, wpaKey: wpaKey };
        showMessage("The camera took the wireless settings. Save the settings to make them take effect.", "ok");
      } else {
        showMessage("The camera did not take the wireless settings.", "error");
      }
    }
  });
}

function scanNetworks() {
  var cam = W.cam;
  if (W.options && !W.options.survey) {
    showMessage("This camera cannot scan for wireless networks.", "error");
    return;
  }
  runSync("InitSiteSurvey_", "The camera is scanning for wireless networks…", function () {
    if (toInt(FinderObj.InitSiteSurvey_(cam.index)) !== 1) {
      showMessage("The camera did not start a scan. Try again.", "error");
      return;
    }
    startRequest({
      name: "GetSiteSurveyInfo_",
      busy: "Reading the networks the camera found…",
      timeoutMs: 30000,
      start: function () { FinderObj.GetSiteSurveyInfo_(cam.index); },
      done: function () {
        W.surveyRows = [];
        W.surveyCollecting = true;
        if (W.scans === 0) FinderObj.FinishSiteSurvey();
        else FinderObj.FinishRescanSiteSurvey();
        W.scans++;
        if (W.surveyCollecting) surveyFinished();
      }
    });
  });
}

function securityText(auth, enc) {
  var a = auth >= 0 && auth < AUTH_NAMES.length ? AUTH_NAMES[auth] : "Type " + auth;
  if (enc === 0) return auth === 0 ? "Open" : a;
  var e = enc > 0 && enc < ENC_NAMES.length ? ENC_NAMES[enc] : "type " + enc;
  return a + ", " + e;
}

function surveyFinished() {
  W.surveyCollecting = false;
  var rows = W.surveyRows.slice().sort(function (a, b) { return b.signal - a.signal; });
  var body = $("survey-rows");
  clear(body);
  $("survey-box").hidden = false;
  $("survey-count").textContent = rows.length === 0 ? "The camera found no wireless network."
    : rows.length === 1 ? "One network found." : rows.length + " networks found.";
  rows.forEach(function (s) {
    var tr = el("tr", "station");
    tr.appendChild(el("td", "ssid", s.ssid !== "" ? s.ssid : "(hidden network)"));
    var sig = el("td");
    var bar = el("span", "signal");
    var fill = el("span");
    fill.style.width = Math.max(0, Math.min(100, s.signal)) + "%";
    bar.appendChild(fill);
    sig.appendChild(bar);
    sig.appendChild(document.createTextNode(String(s.signal)));
    tr.appendChild(sig);
    tr.appendChild(el("td", "", String(s.channel)));
    tr.appendChild(el("td", "", securityText(s.auth, s.enc)));
    var td = el("td");
    var b = el("button", "quiet", "Use");
    b.type = "button";
    b.addEventListener("click", function () { useStation(s, tr); });
    td.appendChild(b);
    tr.appendChild(td);
    body.appendChild(tr);
  });
  if (rows.length === 0) showMessage("The camera found no wireless network.", "");
}

function useStation(s, tr) {
  if (W.busy) return;
  var chosen = document.querySelectorAll("#survey-rows tr.chosen");
  for (var k = 0; k < chosen.length; k++) chosen[k].classList.remove("chosen");
  tr.classList.add("chosen");
  $("wl-enable").checked = true;
  $("wl-ssid").value = s.ssid;
  chooseValue($("wl-mode"), s.mode, MODE_NAMES, "Mode");
  chooseValue($("wl-channel"), s.channel, [], "Channel");
  chooseValue($("wl-auth"), s.auth, AUTH_NAMES, "Type");
  chooseValue($("wl-enc"), s.enc, ENC_NAMES, "Type");
  refreshControls();
  showMessage("Enter the key of the network " + s.ssid + " and apply.", "");
  if (s.enc === ENC_WEP) $("wl-wepkey").focus();
  else if (s.enc > ENC_WEP) $("wl-wpakey").focus();
}

// ---- save

function saveSettings() {
  var cam = W.cam;
  startRequest({
    name: "CommitSettings_",
    busy: "Saving the settings in the camera…",
    timeoutMs: 90000,
    start: function () { FinderObj.CommitSettings_(cam.index); },
    done: function () {
      startRequest({
        name: "TryWireless_",
        busy: "Waiting for the camera to answer again…",
        timeoutMs: 90000,
        timeoutText: "The settings were sent, but the camera does not answer yet.",
        start: function () { FinderObj.TryWireless_(cam.index); },
        done: function () {
          if (toInt(FinderObj.QueryResult()) === 1) {
            if (readInfo()) showMessage("The settings are saved and the camera answers.", "ok");
          } else {
            showMessage("The settings were sent, but the camera does not answer yet. " +
                        "If it now uses the wireless network, unplug its network cable and search again.", "error");
          }
        }
      });
    }
  });
}

// ---- remote access

function readRemoteState() {
  var cam = W.cam;
  runSync("IsAlreadyEnableTessel_", "Asking the camera about remote access…", function () {
    W.remoteOn = toInt(FinderObj.IsAlreadyEnableTessel_(cam.index)) !== 0;
    renderRemote();
    refreshControls();
  });
}

function renderRemote() {
  $("remote-state").textContent = W.remoteOn === null ? "Not read yet" : W.remoteOn ? "On" : "Off";
  $("remote-url").textContent = W.remoteUrl;
}

function remoteAccess() {
  var cam = W.cam;
  if (W.remoteOn) {
    waitRemote();
    return;
  }
  startRequest({
    name: "EnableTessel_",
    busy: "Turning on remote access…",
    timeoutMs: 30000,
    start: function () { FinderObj.EnableTessel_(cam.index); },
    done: function () {
      if (toInt(FinderObj.QueryResult()) !== 1) {
        showMessage("The camera did not turn on remote access.", "error");
        return;
      }
      W.remoteOn = true;
      renderRemote();
      waitRemote();
    }
  });
}

function waitRemote() {
  var cam = W.cam;
  startRequest({
    name: "IsTesselWorkable_",
    busy: "Waiting until remote access works… This can take a minute.",
    timeoutMs: 180000,
    timeoutText: "Remote access did not start working in time. Try again later.",
    start: function () { FinderObj.IsTesselWorkable_(cam.index); },
    done: function () {
      if (toInt(FinderObj.QueryResult()) !== 1) {
        showMessage("Remote access does not work yet. Check that the camera can reach the internet, then try again.", "error");
        return;
      }
      startRequest({
        name: "GetTavvelURL_",
        busy: "Reading the remote address…",
        timeoutMs: 30000,
        start: function () { FinderObj.GetTavvelURL_(cam.index); },
        done: function () {
          if (toInt(FinderObj.QueryResult()) !== 1) {
            showMessage("The remote address could not be read from the camera.", "error");
            return;
          }
          W.remoteUrl = toText(FinderObj.GetURL());
          renderRemote();
          showMessage("Remote access works.", "ok");
        }
      });
    }
  });
}

// ---- live picture: the program draws it over the page while this step shows

function startLive() {
  var cam = W.cam;
  if (!cam || !hasBridge()) return;
  document.body.classList.add("live-step");
  var port = W.info ? W.info.port : 80;
  try {
    FinderObj.LiveView_IP_Port_ID_Password_AuthType_(cam.index, cam.ip, port, W.user, W.password, LIVE_AUTH_BASIC);
    W.live = true;
  } catch (e) {
    bridgeFailure("LiveView_IP_Port_ID_Password_AuthType_", e);
  }
}

function stopLive() {
  document.body.classList.remove("live-step");
  if (!W.live) return;
  W.live = false;
  try { FinderObj.StopLiveView(); } catch (e) { bridgeFailure("StopLiveView", e); }
}

// ---- finish

function renderFinish() {
  var remote = W.remoteUrl !== "";
  $("finish-name").textContent = W.cam ? cameraLabel(W.cam) : "";
  $("finish-web").textContent = W.address;
  $("finish-remote").textContent = remote ? W.remoteUrl : "Not turned on";
  $("open-web-btn").hidden = $("copy-web-btn").hidden = W.address === "";
  $("open-remote-btn").hidden = $("copy-remote-btn").hidden = !remote;
}

// The desktop services answer nothing: the page says what it asked for.
function desktopService(name, fn, done) {
  if (W.busy) return;
  if (!hasBridge()) {
    showMessage("This page works only inside the camera wizard program.", "error");
    return;
  }
  try {
    fn();
  } catch (e) {
    bridgeFailure(name, e);
    return;
  }
  showMessage(done, "ok");
}

function openPage(address) {
  desktopService("OpenBrowser_", function () { FinderObj.OpenBrowser_(address); },
                 "The page opens in your web browser.");
}

function copyText(text) {
  desktopService("ClipboardData_", function () { FinderObj.ClipboardData_(text); },
                 "Copied to the clipboard: " + text);
}

// A bookmark for the remote address names itself after the camera's remote
// identifier; without remote access it holds the local address and the MAC.
function saveBookmark() {
  var cam = W.cam;
  if (!cam) return;
  var cloud = W.remoteUrl !== "";
  desktopService(cloud ? "CreateShortcut_URL_" : "CreateNonCloudShortcut_Address_MAC_", function () {
    if (cloud) FinderObj.CreateShortcut_URL_(W.model, W.remoteUrl);
    else FinderObj.CreateNonCloudShortcut_Address_MAC_(W.model, W.address, cam.mac);
  }, "A bookmark (.webloc) is saved in your desktop folder. Most Linux desktops do not open it on a double-click.");
}

function openManual() {
  desktopService("OpenPDF_", function () { FinderObj.OpenPDF_(MANUAL); },
                 "The quick-start guide opens in your PDF viewer.");
}

function closeWizard() {
  if (W.busy) return;
  stopLive();
  if (hasBridge()) {
    try { FinderObj.CloseWizard(); } catch (e) { bridgeFailure("CloseWizard", e); }
  } else {
    window.close();
  }
}

// ---- functions the native side calls; every argument arrives as a string

function AddCameraList(mac, index) {
  if (!W.searching || W.cameras.length >= MAX_CAMERAS) return;
  var i = toInt(index);
  if (i < 0) return;
  for (var k = 0; k < W.cameras.length; k++)
    if (W.cameras[k].index === i) return;
  W.cameras.push({ mac: toText(mac), index: i, name: "", ip: "" });
}

function CompleteSearch() {
  if (W.searching) searchFinished();
}

function GatherCameraInfo(dhcp, ip, mask, gateway, dns1, dns2, port, name, https) {
  W.lastInfo = {
    dhcp: toInt(dhcp) === 1, ip: toText(ip), mask: toText(mask), gateway: toText(gateway),
    dns1: toText(dns1), dns2: toText(dns2), port: toInt(port), name: toText(name),
    https: toInt(https) === 1
  };
}

function GatherOptionCmd(survey, commit, queryNetwork) {
  W.options = { survey: toInt(survey) === 1, commit: toInt(commit) === 1,
                queryNetwork: toInt(queryNetwork) === 1 };
}

function bitsToValues(args) {
  var v = [];
  for (var k = 0; k < args.length; k++) if (toInt(args[k]) === 1) v.push(k);
  return v;
}

function GatherWirelessCapMode(b0, b1) {
  if (W.capBuild) W.capBuild.modes = bitsToValues([b0, b1]);
}

function GatherWirelessCapChannel(channel) {
  var c = toInt(channel);
  if (W.capBuild && c >= 0 && c <= 31 && W.capBuild.channels.indexOf(c) < 0) W.capBuild.channels.push(c);
}

function GatherWirelessCapAuth(b0, b1, b2, b3, b4, b5) {
  if (W.capBuild) W.capBuild.auth = bitsToValues([b0, b1, b2, b3, b4, b5]);
}

function GatherWirelessCapEncryption(b0, b1, b2, b3, b4) {
  if (W.capBuild) W.capBuild.enc = bitsToValues([b0, b1, b2, b3, b4]);
}

function GatherWirelessInfo(enable, mode, ssid, channel, auth, enc, wepLen, wepFormat, wepDefault, wepKey, wpaKey) {
  W.wirelessRaw = {
    enable: toInt(enable), mode: toInt(mode), ssid: toText(ssid), channel: toInt(channel),
    auth: toInt(auth), enc: toInt(enc), wepLen: toInt(wepLen), wepFormat: toInt(wepFormat),
    wepDefault: toInt(wepDefault), wepKey: toText(wepKey), wpaKey: toText(wpaKey)
  };
}

function GatherSiteSurvey(ssid, signal, mode, enc, auth, channel) {
  if (!W.surveyCollecting || W.surveyRows.length >= MAX_STATIONS) return;
  W.surveyRows.push({ ssid: toText(ssid), signal: toInt(signal), mode: toInt(mode),
                      enc: toInt(enc), auth: toInt(auth), channel: toInt(channel) });
}

function CompleteSiteSurvey() {
  if (W.surveyCollecting) surveyFinished();
}

// ---- start

function init() {
  var params = new URLSearchParams(location.search);
  var model = params.get("model");
  if (model && model.length <= 63) W.model = model;
  $("model-input").value = W.model;
  var icon = $("model-icon");
  icon.addEventListener("error", function () { icon.classList.add("missing"); });
  updateIcon();

  $("search-form").addEventListener("submit", function (e) { e.preventDefault(); search(); });
  $("login-form").addEventListener("submit", function (e) { e.preventDefault(); login(); });
  $("address-form").addEventListener("submit", function (e) { e.preventDefault(); applyAddress(); });
  $("password-form").addEventListener("submit", function (e) { e.preventDefault(); changePassword(); });
  $("wireless-form").addEventListener("submit", function (e) { e.preventDefault(); applyWireless(); });
  $("addr-dhcp").addEventListener("change", refreshControls);
  $("addr-fixed").addEventListener("change", refreshControls);
  $("wl-enc").addEventListener("change", refreshControls);
  $("wl-show-keys").addEventListener("change", refreshControls);
  $("info-reload-btn").addEventListener("click", function () {
    runSync("GetCameraInfo_", "Reading the camera's information…", readInfo);
  });
  $("survey-btn").addEventListener("click", scanNetworks);
  $("save-btn").addEventListener("click", saveSettings);
  $("remote-btn").addEventListener("click", remoteAccess);
  $("close-btn").addEventListener("click", closeWizard);
  $("finish-close-btn").addEventListener("click", closeWizard);
  $("open-web-btn").addEventListener("click", function () { openPage(W.address); });
  $("copy-web-btn").addEventListener("click", function () { copyText(W.address); });
  $("open-remote-btn").addEventListener("click", function () { openPage(W.remoteUrl); });
  $("copy-remote-btn").addEventListener("click", function () { copyText(W.remoteUrl); });
  $("bookmark-btn").addEventListener("click", saveBookmark);
  $("manual-btn").addEventListener("click", openManual);

  var go = document.querySelectorAll("[data-go]");
  for (var k = 0; k < go.length; k++) {
    go[k].addEventListener("click", function (e) { goTo(e.currentTarget.getAttribute("data-go")); });
  }
  var items = document.querySelectorAll("#steps li");
  for (k = 0; k < items.length; k++) {
    items[k].addEventListener("click", function (e) { goTo(e.currentTarget.getAttribute("data-step")); });
  }

  goTo("search");
  if (hasBridge()) search();
  else showMessage("This page works only inside the camera wizard program.", "error");
}

document.addEventListener("DOMContentLoaded", init);
