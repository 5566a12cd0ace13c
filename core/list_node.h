#pragma once
// Intrusive singly linked list node that knows the link pointing at it, so
// that it can leave its list in constant time.
struct ListNode {
    ListNode* next = nullptr;
    ListNode** back = nullptr; // the link that points to this node
};

inline void list_unlink(ListNode& node)
{
    if (node.next != nullptr) {
        node.next->back = node.back;
    }
    if (node.back != nullptr) {
        *node.back = node.next;
    }
    node.next = nullptr;
    node.back = nullptr;
}
