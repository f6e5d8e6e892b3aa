#include "w3c/HTList.h"

#include "w3c/HTMemory.h"

namespace {

HTList* NewNode(void* object, HTList* next)
{
    HTList* node = static_cast<HTList*>(HTMemory_malloc(sizeof(HTList)));
    if (!node)
        HTMemory_outofmem("HTList", __FILE__, __LINE__);
    node->object = object;
    node->next = next;
    return node;
}

// The node whose next is the back element (the header when empty).
HTList* BeforeBack(HTList* me)
{
    HTList* prev = me;
    while (prev->next && prev->next->next)
        prev = prev->next;
    return prev;
}

HTList* Back(HTList* me)
{
    HTList* node = me;
    while (node->next)
        node = node->next;
    return node;
}

// The node before position (the header for 0); null when out of range.
HTList* BeforePosition(HTList* me, int position)
{
    if (position < 0)
        return nullptr;
    HTList* prev = me;
    for (int i = 0; i < position && prev->next; ++i)
        prev = prev->next;
    return prev->next ? prev : nullptr;
}

// Unlinks prev->next and returns its object.
void* Unlink(HTList* prev)
{
    HTList* node = prev->next;
    void* object = node->object;
    prev->next = node->next;
    HTMemory_free(node);
    return object;
}

} // namespace

HTList* HTList_new(void)
{
    return NewNode(nullptr, nullptr);
}

bool HTList_delete(HTList* me)
{
    if (!me)
        return false;
    while (me) {
        HTList* next = me->next;
        HTMemory_free(me);
        me = next;
    }
    return true;
}

HTList* HTList_addList(HTList* me, void* newObject)
{
    if (!me)
        return nullptr;
    me->next = NewNode(newObject, me->next);
    return me->next;
}

HTList* HTList_appendList(HTList* me, void* newObject)
{
    if (!me)
        return nullptr;
    HTList* back = Back(me);
    back->next = NewNode(newObject, nullptr);
    return back->next;
}

bool HTList_addObject(HTList* me, void* newObject)
{
    return HTList_addList(me, newObject) != nullptr;
}

bool HTList_appendObject(HTList* me, void* newObject)
{
    return HTList_appendList(me, newObject) != nullptr;
}

bool HTList_removeObject(HTList* me, void* oldObject)
{
    HTList* prev = nullptr;
    if (!HTList_elementOf(me, oldObject, &prev))
        return false;
    Unlink(prev);
    return true;
}

bool HTList_removeObjectAll(HTList* me, void* oldObject)
{
    bool found = false;
    while (HTList_removeObject(me, oldObject))
        found = true;
    return found;
}

bool HTList_quickRemoveElement(HTList* me, HTList* last)
{
    if (!me || !last || last->next != me)
        return false;
    Unlink(last);
    return true;
}

void* HTList_removeLastObject(HTList* me)
{
    return me && me->next ? Unlink(BeforeBack(me)) : nullptr;
}

void* HTList_removeFirstObject(HTList* me)
{
    return me && me->next ? Unlink(me) : nullptr;
}

void* HTList_removeObjectAt(HTList* me, int position)
{
    HTList* prev = me ? BeforePosition(me, position) : nullptr;
    return prev ? Unlink(prev) : nullptr;
}

void* HTList_firstObject(HTList* me)
{
    return HTList_objectAt(me, 0);
}

void* HTList_objectAt(HTList* me, int position)
{
    HTList* prev = me ? BeforePosition(me, position) : nullptr;
    return prev ? prev->next->object : nullptr;
}

int HTList_count(HTList* me)
{
    int count = 0;
    for (HTList* node = me ? me->next : nullptr; node; node = node->next)
        ++count;
    return count;
}

int HTList_indexOfElement(HTList* me, HTList* element)
{
    int position = 0;
    for (HTList* node = me ? me->next : nullptr; node; node = node->next, ++position) {
        if (node == element)
            return position;
    }
    return -1;
}

int HTList_indexOf(HTList* me, void* object)
{
    return HTList_indexOfElement(me, HTList_elementOf(me, object, nullptr));
}

HTList* HTList_elementOf(HTList* me, void* object, HTList** pLast)
{
    for (HTList* prev = me; prev && prev->next; prev = prev->next) {
        if (prev->next->object == object) {
            if (pLast)
                *pLast = prev;
            return prev->next;
        }
    }
    return nullptr;
}

bool HTList_insertionSort(HTList* me, HTComparer* comp)
{
    if (!me || !comp)
        return false;
    HTList* unsorted = me->next;
    me->next = nullptr;
    while (unsorted) {
        HTList* node = unsorted;
        unsorted = unsorted->next;
        // After every equal object already placed: the sort is stable.
        HTList* prev = me;
        while (prev->next && comp(prev->next->object, node->object) <= 0)
            prev = prev->next;
        node->next = prev->next;
        prev->next = node;
    }
    return true;
}
