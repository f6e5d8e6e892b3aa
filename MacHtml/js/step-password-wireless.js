// The steps Password and Wireless.
"use strict";

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
    closeText: "The password is being changed; this takes up to 30 seconds. " +
               "Closing now can leave you not knowing which password the camera takes.",
    start: function () { FinderObj.SetupAuth_ID_Password_OldPassword_(cam.index, user, pw, old); },
    done: function () {
      if (toInt(FinderObj.QueryResult()) === 1) {
        $("pw-new").value = "";
        $("pw-repeat").value = "";
        passwordHint();
        W.password = pw;
        // Logging in again takes the password the camera has now.
        $("login-password").value = pw;
        W.applied.password = true;
        renderNav();
        refreshControls();
        applied(then, "The password was changed.");
      } else {
        console.error("[wizard] password change refused, result " + toInt(FinderObj.QueryAuthError()));
        refreshControls();
        sendFailed("The camera did not change the password. The old password still applies.",
                   "The password could not be changed.", function () { changePassword(then); });
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
      refreshControls();
      noAnswer("The wireless settings could not be read from the camera.", loadWireless);
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
    closeText: "The wireless settings are being sent to the camera; this takes up to 30 seconds. " +
               "Closing now can leave the camera without them.",
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
        sendFailed("The camera did not take the wireless settings.", "The wireless settings could not be sent.",
                   function () { applyWireless(then); });
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
      offerRetry("The camera did not start a scan. Check that it is on and connected, then try again.", scanNetworks);
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
    var name = el("td", "ssid", s.ssid !== "" ? s.ssid : "(hidden network)");
    // A long name is cut; the whole of it tells similar ones apart.
    name.title = name.textContent;
    tr.appendChild(name);
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
