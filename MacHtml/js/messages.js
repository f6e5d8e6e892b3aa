// The message line with its questions, the busy indicator, field errors,
// and where the keyboard goes.
"use strict";

// The message and the busy indicator sit in the current step's button row,
// which stays at the bottom of the visible area, so they are where the user
// looks and never push the buttons out of the window.
function placeMessages() {
  var m = $("message"), b = $("busy");
  var row = buttonRow();
  if (row) {
    row.insertBefore(b, row.firstChild);
    row.insertBefore(m, row.firstChild);
  } else {
    var form = $("search-form");
    form.parentNode.insertBefore(b, form.nextSibling);
    form.parentNode.insertBefore(m, form.nextSibling);
  }
}

// The step's last button row, which sticks to the bottom of the visible
// area; null on the search.
function buttonRow() {
  var rows = $("step-" + W.step).querySelectorAll(".buttons");
  return rows.length ? rows[rows.length - 1] : null;
}

// What sits in the button row is in view already; scrolling to where the
// row would lie without sticking takes the step's heading out of view.
function reveal(node) {
  var row = buttonRow();
  if (!row || !row.contains(node)) node.scrollIntoView({ block: "nearest" });
}

// A field the keyboard goes to lies wholly above the button row, which
// grows with the message; the step's heading stays in view as long as the
// field still fits below it.
function keepAboveButtons(node) {
  var row = buttonRow();
  if (!row || row.contains(node)) return;
  var content = $("content");
  var top = content.getBoundingClientRect().top, limit = row.getBoundingClientRect().top;
  var r = node.getBoundingClientRect();
  if (r.bottom > limit - 4) content.scrollTop += r.bottom - limit + 4;
  else if (r.top < top) content.scrollTop -= top - r.top + 4;
  var heading = $("step-" + W.step).querySelector("h2");
  if (!heading) return;
  var hidden = top - heading.getBoundingClientRect().top + 4;
  if (hidden > 0 && node.getBoundingClientRect().bottom + hidden <= limit - 4)
    content.scrollTop -= hidden;
}

// actions: optional [{ label, fn, primary, cancel, anyTime }] offered as
// buttons in the message; Escape runs the one marked cancel. Only those
// marked anyTime work while a request runs.
function showMessage(text, kind, actions) {
  var m = $("message");
  clear(m);
  W.messageId++;
  W.cancelAction = null;
  W.cancelAnyTime = false;
  clearFieldError();
  m.appendChild(el("span", "message-text", text));
  if (actions) {
    var box = el("div", "message-actions");
    actions.forEach(function (a) {
      var b = el("button", a.primary ? "" : "quiet", a.label);
      b.type = "button";
      b.addEventListener("click", function () { if (!W.busy || a.anyTime) a.fn(); });
      box.appendChild(b);
      if (a.cancel) {
        W.cancelAction = a.fn;
        W.cancelAnyTime = !!a.anyTime;
      }
    });
    m.appendChild(box);
  }
  m.className = kind || "";
  m.setAttribute("role", kind === "error" || actions ? "alert" : "status");
  m.hidden = false;
  placeMessages();
  reveal(m);
  if (actions) m.querySelector("button").focus();
}

function clearMessage() {
  var m = $("message");
  m.hidden = true;
  clear(m);
  W.messageId++;
  W.cancelAction = null;
  W.cancelAnyTime = false;
  clearFieldError();
}

// Marks the field ids[0] bad, focuses it and says why; input in any of ids
// (the field and those that decide what it must hold) takes the error back.
function fieldError(ids, text) {
  showMessage(text, "error");
  markInvalid(ids[0], true);
  $(ids[0]).focus();
  keepAboveButtons($(ids[0]));
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

function markInvalid(id, bad) {
  $(id).classList.toggle("invalid", bad);
  if (bad) $(id).setAttribute("aria-invalid", "true");
  else $(id).removeAttribute("aria-invalid");
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
  reveal($("busy"));
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

// ---- focus

// After a request the keyboard goes on in the step, unless the outcome
// already put it on a field.
function afterRequest(focused) {
  var placed = W.focusPlaced;
  W.focusPlaced = false;
  if (!W.busy && !placed && document.activeElement === focused) focusStep();
}

// An outcome that puts the keyboard on a field, also the one it was on.
function placeFocus(node) {
  node.focus();
  W.focusPlaced = true;
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
      keepAboveButtons(f);
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
  if (first) {
    first.focus();
    keepAboveButtons(first);
  }
}
