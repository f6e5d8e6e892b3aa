#include "platform/gtk/GtkWebPlatform.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace platform {

namespace {

JSCValue* ToJS(JSCContext* ctx, const ScriptValue& v)
{
    switch (v.kind()) {
    case ScriptValue::Kind::Null:
        return jsc_value_new_null(ctx);
    case ScriptValue::Kind::Number:
        return jsc_value_new_number(ctx, v.number());
    case ScriptValue::Kind::String: {
        GBytes* bytes = g_bytes_new(v.string().data(), v.string().size());
        JSCValue* s = jsc_value_new_string_from_bytes(ctx, bytes);
        g_bytes_unref(bytes);
        return s;
    }
    case ScriptValue::Kind::Array: {
        JSCValue* a = jsc_value_new_array(ctx, G_TYPE_NONE);
        for (size_t i = 0; i < v.items().size(); ++i) {
            JSCValue* item = ToJS(ctx, v.items()[i]);
            jsc_value_object_set_property_at_index(a, static_cast<guint>(i), item);
            g_object_unref(item);
        }
        return a;
    }
    case ScriptValue::Kind::Object: {
        JSCValue* o = jsc_value_new_object(ctx, nullptr, nullptr);
        for (size_t i = 0; i < v.items().size(); ++i) {
            JSCValue* item = ToJS(ctx, v.items()[i]);
            jsc_value_object_set_property(o, v.names()[i].c_str(), item);
            g_object_unref(item);
        }
        return o;
    }
    case ScriptValue::Kind::Undefined:
        break;
    }
    return jsc_value_new_undefined(ctx);
}

std::string TextOf(JSCValue* v)
{
    GBytes* bytes = jsc_value_to_string_as_bytes(v);
    if (!bytes)
        return std::string();
    gsize n = 0;
    const char* p = static_cast<const char*>(g_bytes_get_data(bytes, &n));
    std::string s(p ? p : "", n);
    g_bytes_unref(bytes);
    return s;
}

ScriptValue FromJS(JSCValue* v)
{
    if (jsc_value_is_undefined(v))
        return ScriptValue();
    if (jsc_value_is_null(v))
        return ScriptValue::Null();
    if (jsc_value_is_number(v))
        return ScriptValue::Number(jsc_value_to_double(v));
    if (jsc_value_is_boolean(v))
        return ScriptValue::Number(jsc_value_to_boolean(v) ? 1 : 0);
    return ScriptValue::String(TextOf(v));
}

struct MemberRef {
    ScriptBridge* object;
    size_t index;
};

JSCValue* CallMethod(gpointer /*instance*/, GPtrArray* args, gpointer data)
{
    auto* ref = static_cast<MemberRef*>(data);
    ScriptArgs in;
    for (guint i = 0; args && i < args->len; ++i)
        in.push_back(FromJS(static_cast<JSCValue*>(g_ptr_array_index(args, i))));
    // The method list is fixed once the object exists; the copy keeps the
    // call safe should a method ever replace it.
    auto call = ref->object->ScriptMethods()[ref->index].call;
    ScriptValue out = call(in);
    return ToJS(jsc_context_get_current(), out);
}

JSCValue* GetProperty(gpointer /*instance*/, gpointer data)
{
    auto* ref = static_cast<MemberRef*>(data);
    ScriptValue out = ref->object->ScriptProperties()[ref->index].get();
    return ToJS(jsc_context_get_current(), out);
}

void FreeRef(gpointer data)
{
    delete static_cast<MemberRef*>(data);
}

} // namespace

GtkWebPlatform::GtkWebPlatform(std::string bundleParentDir)
    : m_bundleParentDir(std::move(bundleParentDir))
{
}

void GtkWebPlatform::PageCreated(WebKitWebPage* page)
{
    if (!m_page)
        m_page = page;
}

void GtkWebPlatform::WindowObjectCleared(WebKitFrame* frame, JSCContext* context,
                                         const std::function<void()>& delegate)
{
    if (webkit_frame_is_main_frame(frame)) {
        g_object_ref(context);
        if (m_mainContext)
            g_object_unref(m_mainContext);
        m_mainContext = context;
    }
    m_clearingContext = context;
    delegate();
    m_clearingContext = nullptr;
}

void GtkWebPlatform::Publish(const std::string& name, ScriptBridge* object)
{
    m_published[name] = object;
    JSCContext* target = m_clearingContext ? m_clearingContext : m_mainContext;
    if (target)
        PublishInto(target, name, object);
}

void GtkWebPlatform::PublishInto(JSCContext* context, const std::string& name, ScriptBridge* object)
{
    // Each window object has a context of its own; the class is made in it.
    JSCClass* cls = jsc_context_register_class(context, "HTMLControl", nullptr, nullptr, nullptr);
    const auto& methods = object->ScriptMethods();
    for (size_t i = 0; i < methods.size(); ++i)
        jsc_class_add_method_variadic(cls, methods[i].name.c_str(), G_CALLBACK(CallMethod),
                                      new MemberRef{object, i}, FreeRef, JSC_TYPE_VALUE);
    const auto& props = object->ScriptProperties();
    for (size_t i = 0; i < props.size(); ++i)
        jsc_class_add_property(cls, props[i].name.c_str(), JSC_TYPE_VALUE, G_CALLBACK(GetProperty),
                               nullptr, new MemberRef{object, i}, FreeRef);
    JSCValue* value = jsc_value_new_object(context, object, cls);
    jsc_context_set_value(context, name.c_str(), value);
    g_object_unref(value);
}

ScriptValue GtkWebPlatform::Evaluate(const std::string& script)
{
    if (!m_mainContext)
        return ScriptValue();
    JSCValue* result =
        jsc_context_evaluate(m_mainContext, script.data(), static_cast<gssize>(script.size()));
    ScriptValue out = result ? FromJS(result) : ScriptValue();
    if (result)
        g_object_unref(result);
    // A missing page function must not leave an exception behind for the
    // next evaluation.
    if (jsc_context_get_exception(m_mainContext)) {
        jsc_context_clear_exception(m_mainContext);
        return ScriptValue();
    }
    return out;
}

ScriptValue GtkWebPlatform::Invoke(const std::string& object, const std::string& method)
{
    auto it = m_published.find(object);
    if (it == m_published.end())
        return ScriptValue();
    for (const auto& m : it->second->ScriptMethods())
        if (m.name == method) {
            auto call = m.call;
            return call({});
        }
    return ScriptValue();
}

namespace {
struct TimerRef {
    GtkWebPlatform* platform;
    RunLoop::TimerId id;
};
} // namespace

RunLoop::TimerId GtkWebPlatform::ScheduleRepeating(double seconds, std::function<void()> tick)
{
    TimerId id = m_nextTimer++;
    guint ms = seconds <= 0 ? 1 : static_cast<guint>(std::lround(seconds * 1000));
    auto* ref = new TimerRef{this, id};
    guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, ms, &GtkWebPlatform::TimerFired, ref,
                                      [](gpointer p) { delete static_cast<TimerRef*>(p); });
    m_timers[id] = Timer{source, std::move(tick)};
    return id;
}

gboolean GtkWebPlatform::TimerFired(gpointer data)
{
    auto* ref = static_cast<TimerRef*>(data);
    GtkWebPlatform* self = ref->platform;
    TimerId id = ref->id;
    auto it = self->m_timers.find(id);
    if (it == self->m_timers.end())
        return G_SOURCE_REMOVE;
    auto tick = it->second.tick; // the tick may stop this very timer
    tick();
    return self->m_timers.count(id) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void GtkWebPlatform::Invalidate(TimerId id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    guint source = it->second.source;
    m_timers.erase(it);
    // Inside its own tick the source ends when the tick returns.
    GSource* s = g_main_context_find_source_by_id(nullptr, source);
    if (s && !g_source_is_destroyed(s) && g_main_current_source() != s)
        g_source_destroy(s);
}

void GtkWebPlatform::SendToView(const char* name, GVariant* parameters)
{
    if (!m_page) {
        if (parameters)
            g_variant_unref(g_variant_ref_sink(parameters));
        return;
    }
    WebKitUserMessage* message = webkit_user_message_new(name, parameters);
    webkit_web_page_send_message_to_view(m_page, message, nullptr, nullptr, nullptr);
}

namespace {

// A text for a message; a variant string must be valid UTF-8.
GVariant* Text(const std::string& s)
{
    g_autofree char* valid = g_utf8_make_valid(s.c_str(), -1);
    return g_variant_new_string(valid);
}

} // namespace

void GtkWebPlatform::LoadFile(const std::string& path)
{
    SendToView("LoadFile", Text(path));
}

void GtkWebPlatform::Terminate()
{
    SendToView("Terminate", nullptr);
}

void GtkWebPlatform::SetWebViewSize(int width, int height)
{
    SendToView("SetWebViewSize", g_variant_new("(ii)", width, height));
}

namespace {

// Widest and highest rectangle a picture is scaled to.
constexpr int kMaxDrawSide = 4096;

// The picture scaled to width x height, R, G, B, A rows packed.
GVariant* ScaledPixels(const Image& image, int width, int height)
{
    GdkPixbuf* source =
        gdk_pixbuf_new_from_data(image.rgba().data(), GDK_COLORSPACE_RGB, TRUE, 8, image.width(),
                                 image.height(), image.width() * 4, nullptr, nullptr);
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(source, width, height, GDK_INTERP_BILINEAR);
    g_object_unref(source);
    if (!scaled)
        return nullptr;
    const int stride = gdk_pixbuf_get_rowstride(scaled);
    const guint8* p = gdk_pixbuf_read_pixels(scaled);
    std::vector<guint8> packed(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        std::copy_n(p + size_t(y) * size_t(stride), size_t(width) * 4,
                    packed.data() + size_t(y) * size_t(width) * 4);
    g_object_unref(scaled);
    return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, packed.data(), packed.size(), 1);
}

} // namespace

void GtkWebPlatform::DrawImageInRect(const Image& image, const Rect& rect)
{
    if (rect.width <= 0 || rect.height <= 0 || rect.width > kMaxDrawSide ||
        rect.height > kMaxDrawSide)
        return;
    GVariant* pixels = ScaledPixels(image, rect.width, rect.height);
    if (!pixels)
        return;
    GVariant* fields[] = {g_variant_new_int32(rect.x), g_variant_new_int32(rect.y),
                          g_variant_new_int32(rect.width), g_variant_new_int32(rect.height),
                          pixels};
    SendToView("DrawImage", g_variant_new_tuple(fields, 5));
}

void GtkWebPlatform::ClearImage()
{
    SendToView("ClearImage", nullptr);
}

void GtkWebPlatform::OpenURL(const std::string& url)
{
    SendToView("OpenURL", Text(url));
}

void GtkWebPlatform::OpenFile(const std::string& path)
{
    SendToView("OpenFile", Text(path));
}

void GtkWebPlatform::SetIcon(const std::string& file, const std::string& iconFile)
{
    GVariant* both[] = {Text(file), Text(iconFile)};
    SendToView("SetIcon", g_variant_new_tuple(both, 2));
}

void GtkWebPlatform::SetPasteboardString(const std::string& text)
{
    SendToView("Pasteboard", Text(text));
}

std::string GtkWebPlatform::DesktopFolder()
{
    const char* d = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    return d ? d : std::string(g_get_home_dir()) + "/Desktop";
}

} // namespace platform
