#ifndef RILO_HTLIST_H
#define RILO_HTLIST_H

// A singly linked list of object pointers with a header node. Elements are
// list nodes too: the header's next is the first element. Position 0 is the
// first object; "first" is the front of the chain and "last" its back.
// Every function accepts a null list and then does nothing.

extern "C" {

typedef struct HTList HTList;
struct HTList {
    void* object;
    HTList* next;
};

// Orders two objects as strcmp does.
typedef int HTComparer(const void* a, const void* b);

HTList* HTList_new(void);
// Frees the nodes, not the objects.
bool HTList_delete(HTList* me);

// Puts an object at the front, or (append) at the back.
bool HTList_addObject(HTList* me, void* newObject);
bool HTList_appendObject(HTList* me, void* newObject);
// The same, returning the new element (for HTList_quickRemoveElement).
HTList* HTList_addList(HTList* me, void* newObject);
HTList* HTList_appendList(HTList* me, void* newObject);

// Removes the first occurrence, or every occurrence, of an object.
bool HTList_removeObject(HTList* me, void* oldObject);
bool HTList_removeObjectAll(HTList* me, void* oldObject);
// Removes element me, whose predecessor (element or header) is last.
bool HTList_quickRemoveElement(HTList* me, HTList* last);
// Remove and return the back or front object; null when empty.
void* HTList_removeLastObject(HTList* me);
void* HTList_removeFirstObject(HTList* me);
void* HTList_removeObjectAt(HTList* me, int position);

void* HTList_firstObject(HTList* me);
void* HTList_objectAt(HTList* me, int position);
int HTList_count(HTList* me);
// Position of an object or element, -1 when absent.
int HTList_indexOf(HTList* me, void* object);
int HTList_indexOfElement(HTList* me, HTList* element);
// The element holding object; *pLast (when given) gets its predecessor.
HTList* HTList_elementOf(HTList* me, void* object, HTList** pLast);

// Sorts in place, ascending by comp, keeping the order of equal objects.
bool HTList_insertionSort(HTList* me, HTComparer* comp);
}

#endif
