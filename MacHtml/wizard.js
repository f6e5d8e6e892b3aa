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
// How long a request that ran past its time is still watched for its end.
var STALE_POLL_MS = 1000;
var STALE_POLLS = 600;
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
  // Counts the messages shown, so that a later update replaces only its own;
  // staleMessage: the one that says the wizard still waits for the camera.
  messageId: 0,
  staleMessage: -1,
  // Run by Escape while a question is up.
  cancelAction: null,
  // The error of one field: its ids and the message that names it.
  fieldError: null,
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
  live: false,
  // Per camera: the form values last read or applied (null: not filled yet),
  // what was applied, what still waits for a save, and the save's outcome.
  base: { address: null, password: null, wireless: null },
  applied: { address: "", password: false, wireless: "" },
  unsaved: { address: false, wireless: false },
  saved: ""
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

// The message and the busy indicator sit in the current step's button row,
// which stays at the bottom of the visible area, so they are where the user
// looks and never push the buttons out of the window.
function placeMessages() {
  var m = $("message"), b = $("busy");
  var rows = $("step-" + W.step).querySelectorAll(".buttons");
  var row = rows.length ? rows[rows.length - 1] : null;
  if (row) {
    row.insertBefore(b, row.firstChild);
    row.insertBefore(m, row.firstChild);
  } else {
    var form = $("search-form");
    form.parentNode.insertBefore(b, form.nextSibling);
    form.parentNode.insertBefore(m, form.nextSibling);
  }
}

// actions: optional [{ label, fn, primary, cancel }] offered as buttons in
// the message; Escape runs the one marked cancel.
function showMessage(text, kind, actions) {
  var m = $("message");
  clear(m);
  W.messageId++;
  W.cancelAction = null;
  clearFieldError();
  m.appendChild(el("span", "message-text", text));
  if (actions) {
    var box = el("div", "message-actions");
    actions.forEach(function (a) {
      var b = el("button", a.primary ? "" : "quiet", a.label);
      b.type = "button";
      b.addEventListener("click", function () { if (!W.busy) a.fn(); });
      box.appendChild(b);
      if (a.cancel) W.cancelAction = a.fn;
    });
    m.appendChild(box);
  }
  m.className = kind || "";
  m.setAttribute("role", kind === "error" || actions ? "alert" : "status");
  m.hidden = false;
  placeMessages();
  m.scrollIntoView({ block: "nearest" });
  if (actions) m.querySelector("button").focus();
}

function clearMessage() {
  var m = $("message");
  m.hidden = true;
  clear(m);
  W.messageId++;
  W.cancelAction = null;
  clearFieldError();
}

// Marks the field ids[0] bad, focuses it and says why; input in any of ids
// (the field and those that decide what it must hold) takes the error back.
function fieldError(ids, text) {
  showMessage(text, "error");
  markInvalid(ids[0], true);
  $(ids[0]).focus();
  W.fieldError = { ids: ids, messageId: W.messageId };
}

function clearFieldError() {
  if (!W.fieldError) return;
  W.fieldError.ids.forEach(function (id) { markInvalid(id, false); });
  W.fieldError = null;
}

function fieldChanged(e) {
  var f = W.fieldError;
  if (!f || f.ids.indexOf(e.target.id) < 0) return;
  if (f.messageId === W.messageId) clearMessage();
  else clearFieldError();
}

function stayHere() {
  clearMessage();
  focusStep();
}

// Starting a request clears the message: an old error must not stand
// beside a request that may well succeed.
function setBusy(text) {
  W.busy = true;
  clearMessage();
  $("busy-text").textContent = text;
  $("busy").hidden = false;
  placeMessages();
  $("busy").scrollIntoView({ block: "nearest" });
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
  showMessage("The wizard program could not carry out this request. Try again, or restart the wizard.", "error");
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
      showMessage("The wizard is still waiting for the camera to answer an earlier request. " +
                  "You can try again as soon as it answers; this page says when.", "error");
      W.staleMessage = W.messageId;
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
      var focused = document.activeElement;
      try { req.done(); } catch (e) { bridgeFailure(req.name, e); }
      afterRequest(focused);
      return;
    }
    polls++;
    if (polls >= maxPolls || now() >= deadline) {
      endBusy();
      console.error("[wizard] " + req.name + " did not complete in time");
      timedOut(req.timeoutText || "The camera did not answer in time.");
      focusStep();
      return;
    }
    setTimeout(poll, POLL_MS);
  }
  setTimeout(poll, POLL_MS);
  return true;
}

// The bridge cannot cancel a request that ran past its time: the page says
// so and watches, for a bounded while, for its end, after which the user
// may try again.
function timedOut(text) {
  W.stale = true;
  showMessage(text + " The wizard is still waiting for it; you can try again as soon as it answers.", "error");
  W.staleMessage = W.messageId;
  var polls = 0;
  function watch() {
    if (!W.stale) return;
    var done = false;
    try { done = toInt(FinderObj.CheckThreadComplete()) === 1; } catch (e) { done = false; }
    if (done) {
      W.stale = false;
      if (W.messageId === W.staleMessage && !W.busy) showMessage("The camera has answered now. You can try again.", "");
      return;
    }
    if (++polls < STALE_POLLS) setTimeout(watch, STALE_POLL_MS);
  }
  setTimeout(watch, STALE_POLL_MS);
}

// A quick request that blocks inside the bridge: show the indicator first so
// that it is on screen while the call runs.
function runSync(name, busyText, fn) {
  if (!ready()) return false;
  setBusy(busyText);
  setTimeout(function () {
    endBusy();
    var focused = document.activeElement;
    try { fn(); } catch (e) { bridgeFailure(name, e); }
    afterRequest(focused);
  }, 40);
  return true;
}

// After a request the keyboard goes on in the step, unless the outcome
// already put it on a field.
function afterRequest(focused) {
  if (!W.busy && document.activeElement === focused) focusStep();
}

function usable(node) {
  return !!node && !node.disabled && node.offsetParent !== null;
}

// On the search the chosen or first camera, else Search. Elsewhere the
// first empty password field of the step, else its first field, else its
// main action (the primary button of its last button row).
function focusStep() {
  var sec = $("step-" + W.step);
  if (W.step === "search") {
    var cams = $("camera-list");
    var target = cams.querySelector("button.chosen") || cams.querySelector("button");
    (usable(target) ? target : $("search-btn")).focus();
    return;
  }
  var fields = sec.querySelectorAll("input, select");
  var first = null;
  for (var k = 0; k < fields.length; k++) {
    var f = fields[k];
    if (f.disabled || f.offsetParent === null || (f.type === "radio" && !f.checked)) continue;
    if (f.type === "password" && f.value === "") {
      f.focus();
      return;
    }
    if (!first) first = f;
  }
  var rows = sec.querySelectorAll(".buttons");
  var row = rows.length ? rows[rows.length - 1] : sec;
  var buttons = Array.prototype.slice.call(row.querySelectorAll("button:not(.back):not(.quiet)"))
    .concat([sec.querySelector("button.next")]);
  for (k = 0; !first && k < buttons.length; k++)
    if (usable(buttons[k])) first = buttons[k];
  if (first) first.focus();
}

function markInvalid(id, bad) {
  $(id).classList.toggle("invalid", bad);
  if (bad) $(id).setAttribute("aria-invalid", "true");
  else $(id).removeAttribute("aria-invalid");
}

// ---- forms: what was typed stays until it is applied or discarded

function snapshot(form) {
  return FORM_FIELDS[form].map(function (id) {
    var e = $(id);
    return e.type === "checkbox" || e.type === "radio" ? String(e.checked) : e.value;
  }).join("\u0000");
}

function restore(form, snap) {
  var v = snap.split("\u0000");
  FORM_FIELDS[form].forEach(function (id, k) {
    var e = $(id);
    if (id === "addr-dhcp") $(v[k] === "true" ? "addr-dhcp" : "addr-fixed").checked = true;
    else if (e.type === "checkbox") e.checked = v[k] === "true";
    else e.value = v[k];
    markInvalid(id, false);
  });
  refreshControls();
}

function changed(form) {
  return !!form && W.base[form] !== null && snapshot(form) !== W.base[form];
}

function applyForm(form, then) {
  if (form === "address") applyAddress(then);
  else if (form === "password") changePassword(then);
  else applyWireless(then);
}

// An apply hands its success message to then, which shows it where it
// leads; without then the message shows on the form's own step.
function applied(then, text) {
  if (then) then(text);
  else showMessage(text, "ok");
}

function askLeave(form, step) {
  showMessage("The changes on this page are not applied yet.", "error", [
    { label: "Apply and go on", primary: true, fn: function () {
      applyForm(form, function (text) {
        goTo(step, true);
        if (text) showMessage(text, "ok");
      });
    } },
    { label: "Discard them", fn: function () { restore(form, W.base[form]); goTo(step, true); } },
    { label: "Stay here", cancel: true, fn: stayHere }
  ]);
}

// The forms holding typed changes that were never applied.
function typedForms() {
  return Object.keys(FORM_FIELDS).filter(changed);
}

function unsavedNames() {
  var names = [];
  if (W.unsaved.address) names.push("IP address");
  if (W.unsaved.wireless) names.push("wireless");
  return names;
}

// ---- steps

function stepOpen(step) {
  if (step === "search") return true;
  if (step === "login") return W.cam !== null;
  return W.cam !== null && W.loggedIn;
}

// Leaving a form with changes that are not applied asks first, unless forced.
function goTo(step, force) {
  if (W.busy || !stepOpen(step)) return;
  var form = FORM_FIELDS[W.step] ? W.step : null;
  if (!force && step !== W.step && changed(form)) {
    askLeave(form, step);
    return;
  }
  if (step !== "live") stopLive();
  W.step = step;
  clearMessage();
  for (var i = 0; i < STEPS.length; i++) $("step-" + STEPS[i]).hidden = STEPS[i] !== step;
  $("content").scrollTop = 0;
  placeMessages();
  renderNav();
  enterStep(step);
  focusStep();
}

// Done means applied or saved, not merely passed.
function stepDone(step) {
  if (step === "search") return W.cam !== null;
  if (step === "login") return W.loggedIn;
  if (step === "info") return W.info !== null;
  if (step === "address") return W.applied.address !== "";
  if (step === "password") return W.applied.password;
  if (step === "wireless") return W.applied.wireless !== "";
  if (step === "save") return W.saved === "ok" && unsavedNames().length === 0;
  if (step === "remote") return W.remoteUrl !== "";
  return false;
}

function renderNav() {
  var items = document.querySelectorAll("#steps li");
  for (var i = 0; i < items.length; i++) {
    var s = items[i].getAttribute("data-step");
    var open = stepOpen(s);
    items[i].classList.toggle("open", open);
    items[i].classList.toggle("current", s === W.step);
    items[i].classList.toggle("done", open && stepDone(s));
    items[i].tabIndex = open ? 0 : -1;
    items[i].setAttribute("aria-disabled", String(!open));
    if (s === W.step) items[i].setAttribute("aria-current", "step");
    else items[i].removeAttribute("aria-current");
    items[i].setAttribute("aria-label", items[i].textContent + (open && stepDone(s) ? ", done" : ""));
  }
}

function enterStep(step) {
  if (step === "search") {
    if (!W.searching) renderCameraList();
  } else if (step === "login") {
    if (!$("login-user").value) $("login-user").value = "admin";
  } else if (step === "info") {
    renderInfo();
  } else if (step === "address") {
    fillAddressForm();
  } else if (step === "password") {
    $("password-user").textContent = W.user;
  } else if (step === "wireless") {
    if (!W.wireless) loadWireless();
  } else if (step === "save") {
    renderSavePending();
    if (W.options && !W.options.commit)
      showMessage("This camera does not say that it can save settings; it may use new settings at once.", "");
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

function renderSavePending() {
  var unsaved = unsavedNames();
  $("save-pending").textContent = unsaved.length > 0
    ? "Waiting to be saved: the " + unsaved.join(" and ") + " settings."
    : "No applied settings are waiting to be saved.";
}

function refreshControls() {
  if (W.busy) return;
  var dhcp = $("addr-dhcp").checked;
  var fixed = ["addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"];
  for (var i = 0; i < fixed.length; i++) $(fixed[i]).disabled = dhcp;
  $("address-btn").disabled = !W.info;
  $("wireless-btn").disabled = !W.wireless;
  $("survey-btn").disabled = !W.wireless || (W.options !== null && !W.options.survey);
  var wirelessOff = !W.wireless || !$("wl-enable").checked;
  WIRELESS_DETAILS.forEach(function (id) { $(id).disabled = wirelessOff; });
  var enc = toInt($("wl-enc").value);
  $("wep-fields").hidden = enc !== ENC_WEP;
  $("wpa-fields").hidden = !(enc > ENC_WEP);
  var show = $("wl-show-keys").checked ? "text" : "password";
  $("wl-wepkey").type = show;
  $("wl-wpakey").type = show;
  $("login-password").type = $("login-show").checked ? "text" : "password";
  $("pw-new").type = $("pw-repeat").type = $("pw-show").checked ? "text" : "password";
  markFittingEncryptions();
  passwordHint();
  $("remote-btn").textContent = W.remoteOn ? "Read the remote address" : "Turn on remote access";
  $("remote-btn").disabled = W.remoteOn === null;
  // The button that applies is the primary one only when there is
  // something to apply; otherwise Next is.
  primaryOf("address", changed("address"), $("address-btn"));
  primaryOf("password", changed("password"), $("password-btn"));
  primaryOf("wireless", changed("wireless"), $("wireless-btn"));
  primaryOf("save", unsavedNames().length > 0, $("save-btn"));
  primaryOf("remote", W.remoteUrl === "", $("remote-btn"));
}

function primaryOf(step, applies, button) {
  button.classList.toggle("quiet", !applies);
  $("step-" + step).querySelector("button.next").classList.toggle("quiet", applies);
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

// Applied settings waiting for a save belong to the chosen camera; a new
// search or another camera forgets them, so the user is asked first.
function confirmDrop(what, anyway, proceed) {
  var unsaved = unsavedNames();
  if (unsaved.length === 0) {
    proceed();
    return;
  }
  showMessage("The " + unsaved.join(" and ") + " settings were sent to the camera but not saved. " +
              what + " forgets them, and the camera loses them when it restarts.", "error", [
    { label: "Go to Save", primary: true, fn: function () { goTo("save"); } },
    { label: anyway, fn: proceed },
    { label: "Cancel", cancel: true, fn: stayHere }
  ]);
}

function search() {
  var model = $("model-input").value.trim();
  if (model === "") {
    showMessage("Enter the model of the camera to look for.", "error");
    return;
  }
  if (W.busy) return;
  confirmDrop("A new search", "Search anyway", function () { startSearch(model); });
}

function startSearch(model) {
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
  endBusy();
  timedOut("The search did not finish.");
  if (W.step === "search") focusStep();
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
    if (W.step === "search") focusStep();
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
    if (W.step === "search") focusStep();
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
    if (cam === W.cam) {
      b.classList.add("chosen");
      b.setAttribute("aria-current", "true");
      b.appendChild(el("span", "cam-chosen", "Chosen"));
    }
    b.addEventListener("click", function () { chooseCamera(cam); });
    li.appendChild(b);
    list.appendChild(li);
  });
}

// The chosen camera again keeps all that was done with it.
function chooseCamera(cam) {
  if (W.busy) return;
  if (cam === W.cam) {
    goTo("login");
    return;
  }
  confirmDrop("Choosing another camera", "Choose it anyway", function () {
    selectCamera(cam);
    goTo("login");
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
  W.applied = { address: "", password: false, wireless: "" };
  W.unsaved = { address: false, wireless: false };
  W.saved = "";
  $("login-password").value = "";
  $("pw-new").value = $("pw-repeat").value = "";
  W.base = { address: null, password: snapshot("password"), wireless: null };
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
    showMessage("The user name and the password can have up to 31 characters each " +
                "(letters with accents and symbols count as two or more).", "error");
    return;
  }
  var cam = W.cam;
  runSync("VerifyAuth_ID_Password_", "Logging in…", function () {
    // The finder now holds these credentials, whatever the camera answers.
    W.loggedIn = false;
    renderNav();
    var rc = toInt(FinderObj.VerifyAuth_ID_Password_(cam.index, user, password));
    if (rc !== 0) {
      if (rc === -2 || rc === -8)
        showMessage("Login failed: the camera did not accept this user name and password.", "error");
      else
        showMessage("Login failed: the camera did not answer. Check its network connection and try again.", "error");
      $("login-password").focus();
      return;
    }
    readOptions(user, password);
  });
}

// The user counts as logged in once the camera's information is read.
function readOptions(user, password) {
  var cam = W.cam;
  startRequest({
    name: "GetOptionCmd_",
    busy: "Reading what the camera supports…",
    timeoutMs: 20000,
    start: function () { FinderObj.GetOptionCmd_(cam.index); },
    done: function () {
      W.options = null;
      toInt(FinderObj.CheckGetOptionCmd());
      if (!readInfo()) return;
      W.user = user;
      W.password = password;
      W.loggedIn = true;
      goTo("info");
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
  $("info-web").textContent = W.address !== "" ? W.address : NO_ADDRESS;
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

// Once per camera: later visits keep what was typed or applied.
function fillAddressForm() {
  var i = W.info;
  if (!i || W.base.address !== null) return;
  $(i.dhcp ? "addr-dhcp" : "addr-fixed").checked = true;
  $("addr-ip").value = i.ip;
  $("addr-mask").value = i.mask;
  $("addr-gateway").value = i.gateway === "0.0.0.0" ? "" : i.gateway;
  $("addr-dns1").value = i.dns1 === "0.0.0.0" ? "" : i.dns1;
  $("addr-dns2").value = i.dns2 === "0.0.0.0" ? "" : i.dns2;
  W.base.address = snapshot("address");
}

// Returns the five texts to send, or null after marking the first bad field.
function readFixedAddress() {
  var ids = ["addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"];
  var names = ["IP address", "subnet mask", "gateway", "first DNS server", "second DNS server"];
  var texts = [], values = [];
  // The fields decide together whether an address fits, so typing in any
  // of them takes the error back.
  function bad(k, why) {
    fieldError([ids[k]].concat(ids.filter(function (id) { return id !== ids[k]; }).concat(["addr-dhcp", "addr-fixed"])),
               why || "The " + names[k] + " is not a valid address: four numbers 0 to 255 with dots, " +
                      "for example 192.168.1.20.");
    return null;
  }
  for (var k = 0; k < ids.length; k++) {
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

function applyAddress(then) {
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
      if (toInt(FinderObj.QueryResult()) !== 1) {
        showMessage("The camera did not take the address settings.", "error");
        return;
      }
      W.base.address = snapshot("address");
      W.applied.address = dhcp ? "Automatic (DHCP)" : "Fixed address " + t[0];
      W.unsaved.address = true;
      renderNav();
      refreshControls();
      applied(then, "The camera took the address settings. Save the settings to make them take effect.");
    }
  });
}

// ---- password

function changePassword(then) {
  var cam = W.cam;
  var pw = $("pw-new").value;
  var again = $("pw-repeat").value;
  if (pw === "" && again === "") {
    if (then) then();
    else goTo("wireless");
    return;
  }
  if (pw !== again) {
    fieldError(pw === "" ? ["pw-new", "pw-repeat"] : ["pw-repeat", "pw-new"], "The two passwords are not the same.");
    return;
  }
  if (utf8Length(pw) > 31) {
    fieldError(["pw-new"], "The password can have up to 31 characters " +
                           "(letters with accents and symbols count as two or more).");
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
      passwordHint();
      if (toInt(FinderObj.QueryResult()) === 1) {
        W.password = pw;
        W.applied.password = true;
        renderNav();
        refreshControls();
        applied(then, "The password was changed.");
      } else {
        console.error("[wizard] password change refused, result " + toInt(FinderObj.QueryAuthError()));
        showMessage("The camera did not change the password. The old password still applies.", "error");
        refreshControls();
      }
    }
  });
}

// A short password is allowed, but the user is told.
function passwordHint() {
  var n = $("pw-new").value.length;
  $("pw-hint").textContent = n > 0 && n < SHORT_PASSWORD
    ? "This password is short and easy to guess. Use " + SHORT_PASSWORD + " or more characters." : "";
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
    W.base.wireless = snapshot("wireless");
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

function encFits(auth, enc) {
  return !(auth >= 0 && auth < AUTH_ENC.length) || AUTH_ENC[auth].indexOf(enc) >= 0;
}

// Encryptions that contradict the chosen authentication cannot be picked;
// a change of authentication moves on to the first one that fits.
function markFittingEncryptions() {
  var auth = toInt($("wl-auth").value);
  var sel = $("wl-enc");
  var fit = null;
  for (var k = 0; k < sel.options.length; k++) {
    var o = sel.options[k];
    o.disabled = !encFits(auth, toInt(o.value));
    if (!o.disabled && fit === null) fit = o.value;
  }
  return fit;
}

function authChanged() {
  var fit = markFittingEncryptions();
  if (!encFits(toInt($("wl-auth").value), toInt($("wl-enc").value)) && fit !== null) $("wl-enc").value = fit;
  refreshControls();
}

function optionName(select) {
  var o = select.options[select.selectedIndex];
  return o ? o.textContent : "";
}

// By key length, then format: what a WEP key holds, with an example.
var WEP_RULES = [
  ["10 hexadecimal digits (0 to 9 and A to F), for example 0A1B2C3D4E", "5 characters, for example k3y!5"],
  ["26 hexadecimal digits (0 to 9 and A to F), for example 0A1B2C3D4E5F60718293A4B5C6", "13 characters, for example my-wep-key-13"]
];

function wepRule(len, fmt) {
  if (len > 1 || fmt > 1) return "Enter the WEP key.";
  return "A " + WEP_LEN_NAMES[len] + " WEP key in " + (fmt === 0 ? "hexadecimal" : "ASCII text") + " is " +
         WEP_RULES[len][fmt] + ".";
}

function checkWepKey(key, len, fmt) {
  var hex = /^[0-9A-Fa-f]*$/.test(key);
  var sizes = [[10, 5], [26, 13]];
  if (len > 1 || fmt > 1) return key !== "";
  var want = sizes[len][fmt];
  if (fmt === 0 && !hex) return false;
  return key.length === want && utf8Length(key) === want;
}

function applyWireless(then) {
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
  // Each error goes when a field it depends on changes.
  var security = ["wl-enable", "wl-auth", "wl-enc"];
  if (utf8Length(ssid) > 32) {
    fieldError(["wl-ssid", "wl-enable"], "The network name can have up to 32 characters " +
                                         "(letters with accents and symbols count as two or more).");
    return;
  }
  if (enable && ssid === "") {
    fieldError(["wl-ssid", "wl-enable"], "Enter the name of the wireless network.");
    return;
  }
  if (enable && !encFits(auth, enc)) {
    $("wl-advanced").open = true;
    fieldError(["wl-enc", "wl-auth", "wl-enable"], "The authentication " + optionName($("wl-auth")) +
               " does not work with the encryption " + optionName($("wl-enc")) +
               ". Choose an encryption that fits, under Advanced.");
    return;
  }
  if (enc === ENC_WEP && enable && !checkWepKey(wepKey, wepLen, wepFmt)) {
    fieldError(["wl-wepkey", "wl-weplen", "wl-wepfmt"].concat(security), wepRule(wepLen, wepFmt));
    return;
  }
  if (utf8Length(wepKey) > 31) {
    fieldError(["wl-wepkey"].concat(security), "The WEP key can have up to 31 characters.");
    return;
  }
  if (enc > ENC_WEP && enable) {
    var n = utf8Length(wpaKey);
    if (n < 8 || n > 64 || (n === 64 && !/^[0-9A-Fa-f]{64}$/.test(wpaKey))) {
      fieldError(["wl-wpakey"].concat(security), "The pass phrase has 8 to 63 characters, " +
                 "for example: blue house by the lake. A key of 64 hexadecimal digits (0 to 9 and A to F) works too.");
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
        W.base.wireless = snapshot("wireless");
        W.applied.wireless = enable ? "Network " + ssid : "Turned off";
        W.unsaved.wireless = true;
        renderNav();
        refreshControls();
        applied(then, "The camera took the wireless settings. Save the settings to make them take effect.");
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

// Short enough for one line of the table; the full text is its tooltip.
function securityShort(auth, enc) {
  if (auth >= 2 && auth <= 5) return auth % 2 === 0 ? "WPA" : "WPA2";
  if (auth === 1 || enc === ENC_WEP) return "WEP";
  if (auth === 0 && enc === 0) return "Open";
  return securityText(auth, enc);
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
    var pct = Math.max(0, Math.min(100, s.signal));
    var sig = el("td", "nowrap");
    var bar = el("span", "signal");
    var fill = el("span");
    fill.style.width = pct + "%";
    bar.setAttribute("aria-hidden", "true");
    bar.appendChild(fill);
    sig.appendChild(bar);
    sig.appendChild(document.createTextNode(pct + "%"));
    tr.appendChild(sig);
    tr.appendChild(el("td", "", String(s.channel)));
    var sec = el("td", "nowrap", securityShort(s.auth, s.enc));
    sec.title = securityText(s.auth, s.enc);
    tr.appendChild(sec);
    var td = el("td");
    var b = el("button", "quiet", "Use");
    b.type = "button";
    b.setAttribute("aria-label", "Use " + (s.ssid !== "" ? s.ssid : "the hidden network"));
    b.addEventListener("click", function () { useStation(s, tr); });
    td.appendChild(b);
    tr.appendChild(td);
    body.appendChild(tr);
  });
  $("survey-box").scrollIntoView({ block: "nearest" });
  if (rows.length === 0) showMessage("The camera found no wireless network.", "");
}

function useStation(s, tr) {
  if (W.busy) return;
  var chosen = document.querySelectorAll("#survey-rows tr.chosen");
  for (var k = 0; k < chosen.length; k++) chosen[k].classList.remove("chosen");
  tr.classList.add("chosen");
  $("wl-enable").checked = true;
  // A key typed for another network is no key for this one.
  if (s.ssid === "" || $("wl-ssid").value !== s.ssid) $("wl-wepkey").value = $("wl-wpakey").value = "";
  $("wl-ssid").value = s.ssid;
  chooseValue($("wl-mode"), s.mode, MODE_NAMES, "Mode");
  chooseValue($("wl-channel"), s.channel, [], "Channel");
  chooseValue($("wl-auth"), s.auth, AUTH_NAMES, "Type");
  chooseValue($("wl-enc"), s.enc, ENC_NAMES, "Type");
  refreshControls();
  if (s.ssid === "") {
    showMessage("This network hides its name. Type its name" + (s.enc !== 0 ? " and key" : "") + ", then apply.", "");
    $("wl-ssid").focus();
  } else if (s.enc === 0) {
    showMessage("The network " + s.ssid + " is open: it needs no key. Apply to use it.", "");
    $("wireless-btn").focus();
  } else {
    showMessage("Enter the key of the network " + s.ssid + " and apply.", "");
    $(s.enc === ENC_WEP ? "wl-wepkey" : "wl-wpakey").focus();
  }
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
          // The commit has no result of its own; what it sent is no longer
          // merely applied either way.
          W.unsaved = { address: false, wireless: false };
          W.saved = toInt(FinderObj.QueryResult()) === 1 ? "ok" : "noanswer";
          renderSavePending();
          renderNav();
          refreshControls();
          if (W.saved === "ok") {
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
    busy: "Waiting until remote access works… This can take up to 3 minutes.",
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
          renderNav();
          refreshControls();
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

function appliedText(what, unsaved, typed) {
  var t;
  if (what === "") t = "Not changed";
  else if (unsaved) t = what + " (not saved)";
  else t = what + (W.saved === "ok" ? " (saved)" : " (sent for saving, not confirmed)");
  return typed ? t + "; typed changes not applied" : t;
}

// Says what was and was not applied and saved rather than claiming success.
function finishSummary() {
  var typed = typedForms().map(function (f) { return FORM_TITLES[f]; });
  var head = typed.length === 0 ? "" : "The changes typed on the " + typed.join(" and ") +
    (typed.length > 1 ? " pages" : " page") + " were not applied, so the camera does not have them. ";
  var unsaved = unsavedNames();
  if (unsaved.length > 0)
    return head + "Not everything is saved: the " + unsaved.join(" and ") + " settings were sent to the camera " +
           "but not saved, so the camera loses them when it restarts. Go to Save to keep them.";
  if (W.saved === "ok")
    return head + (head ? "The applied settings are saved." : "The camera is set up and its settings are saved.");
  if (W.saved === "noanswer")
    return head + "The settings were sent for saving, but the camera did not answer afterwards. " +
           "Search for it again to check them.";
  if (W.applied.password) return head + "The new password is in use. No other settings were changed.";
  return head + (head ? "No other settings were changed." : "No settings were changed: the camera keeps the ones it had.");
}

function renderFinish() {
  var remote = W.remoteUrl !== "";
  var summary = $("finish-summary");
  summary.textContent = finishSummary();
  summary.className = unsavedNames().length + typedForms().length > 0 ? "warn" : "";
  $("finish-address").textContent = appliedText(W.applied.address, W.unsaved.address, changed("address"));
  $("finish-password").textContent = (W.applied.password ? "Changed" : "Not changed") +
    (changed("password") ? "; typed changes not applied" : "");
  $("finish-wireless").textContent = appliedText(W.applied.wireless, W.unsaved.wireless, changed("wireless"));
  $("finish-name").textContent = W.cam ? cameraLabel(W.cam) : "";
  $("finish-web").textContent = W.address !== "" ? W.address : NO_ADDRESS;
  $("finish-remote").textContent = remote ? W.remoteUrl : "Not turned on";
  $("open-web-btn").hidden = $("copy-web-btn").hidden = W.address === "";
  $("open-remote-btn").hidden = $("copy-remote-btn").hidden = !remote;
  $("bookmark-btn").hidden = W.address === "" && !remote;
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
  }, "A bookmark for the camera is saved in your desktop folder. " +
     "Most Linux desktops do not open it on a double-click.");
}

function openManual() {
  desktopService("OpenPDF_", function () { FinderObj.OpenPDF_(MANUAL); },
                 "The quick-start guide opens in your PDF viewer.");
}

// Typed changes are asked about first, then applied settings that wait for
// a save; force closes without asking.
function closeWizard(force) {
  if (W.busy) return;
  var typed = typedForms();
  if (force !== true && typed.length > 0) {
    askClose(typed[0]);
    return;
  }
  var unsaved = unsavedNames();
  if (force !== true && unsaved.length > 0) {
    showMessage("The " + unsaved.join(" and ") + " settings were sent to the camera but not saved. " +
                "The camera loses them when it restarts.", "error", [
      { label: "Go to Save", primary: true, fn: function () { goTo("save"); } },
      { label: "Close anyway", fn: function () { closeWizard(true); } },
      { label: "Cancel", cancel: true, fn: stayHere }
    ]);
    return;
  }
  stopLive();
  if (hasBridge()) {
    try { FinderObj.CloseWizard(); } catch (e) { bridgeFailure("CloseWizard", e); }
  } else {
    window.close();
  }
}

function askClose(form) {
  showMessage("The changes typed on the " + FORM_TITLES[form] + " page are not applied yet. " +
              "Closing loses them.", "error", [
    { label: "Apply and close", primary: true, fn: function () {
      if (W.step !== form) goTo(form, true);
      applyForm(form, function () { closeWizard(false); });
    } },
    { label: "Discard and close", fn: function () { restore(form, W.base[form]); closeWizard(false); } },
    { label: "Stay here", cancel: true, fn: stayHere }
  ]);
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

// reservedBit0 is bit 0 of the camera's Reserved byte, which this page does
// not use; whether the camera speaks HTTPS comes with GetAddress_ only.
function GatherCameraInfo(dhcp, ip, mask, gateway, dns1, dns2, port, name, reservedBit0) {
  W.lastInfo = {
    dhcp: toInt(dhcp) === 1, ip: toText(ip), mask: toText(mask), gateway: toText(gateway),
    dns1: toText(dns1), dns2: toText(dns2), port: toInt(port), name: toText(name)
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
  ["login-form", "address-form", "password-form", "wireless-form"].forEach(function (id) {
    $(id).addEventListener("input", fieldChanged);
    $(id).addEventListener("change", fieldChanged);
    $(id).addEventListener("input", refreshControls);
    $(id).addEventListener("change", refreshControls);
  });
  $("wl-auth").addEventListener("change", authChanged);
  document.addEventListener("keydown", function (e) {
    if (e.key !== "Escape" || !W.cancelAction || W.busy) return;
    e.preventDefault();
    W.cancelAction();
  });
  W.base.password = snapshot("password");
  $("info-reload-btn").addEventListener("click", function () {
    runSync("GetCameraInfo_", "Reading the camera's information…", readInfo);
  });
  $("survey-btn").addEventListener("click", scanNetworks);
  $("save-btn").addEventListener("click", saveSettings);
  $("remote-btn").addEventListener("click", remoteAccess);
  $("close-btn").addEventListener("click", function () { closeWizard(false); });
  $("finish-close-btn").addEventListener("click", function () { closeWizard(false); });
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
    items[k].addEventListener("keydown", function (e) {
      if (e.key !== "Enter" && e.key !== " ") return;
      e.preventDefault();
      goTo(e.currentTarget.getAttribute("data-step"));
    });
  }

  goTo("search");
  if (hasBridge()) search();
  else showMessage("This page works only inside the camera wizard program.", "error");
}

document.addEventListener("DOMContentLoaded", init);
